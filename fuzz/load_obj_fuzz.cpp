// OBJ text from arbitrary bytes, loaded twice so that the second load's
// objects follow the first's.
#include "fuzz_support.h"
#include "io/file.h"
#include "loaders/static_model.h"
#include "raw_text_checks.h"
#include "static_model_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    vesk::StaticModel &model = vesk::TheStaticModel();
    model.Clear();
    if (!vesk::ParseObjBytes(vesk::fuzz::Text(data, size), model)) {
        // A number that reads as NaN or infinite: refused, nothing added.
        VESK_FUZZ_CHECK(model.objectCount == 0 && model.objects.empty());
        return 0;
    }
    vesk::fuzz::CheckAndExportStaticModel(model);
    VESK_FUZZ_CHECK(vesk::ParseObjBytes(vesk::fuzz::Text(data, size), model));
    vesk::fuzz::CheckAndExportStaticModel(model);
    // The same text with CR LF line ends; its objects smoothed all at once.
    const std::string text = vesk::fuzz::WithCrLf(vesk::TextModeFromBytes(vesk::fuzz::Text(data, size)));
    vesk::StaticModel crlf;
    vesk::ParseObjBytes(text, crlf);
    vesk::ParseObjBytes(text, crlf);
    vesk::SmoothVertexNormals(crlf, 0);
    vesk::fuzz::CheckSameModel(model, crlf);
    model.Clear();
    return 0;
}
