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
    // As the file reader hands it over: CR LF already turned into LF.
    const std::string text = vesk::TextModeFromBytes(vesk::fuzz::Text(data, size));
    if (!vesk::ParseObj(text, model)) {
        // A number that reads as NaN or infinite: refused, nothing added.
        VESK_FUZZ_CHECK(model.objectCount == 0 && model.objects.empty());
        vesk::StaticModel raw;
        VESK_FUZZ_CHECK(!vesk::ParseObjBytes(vesk::fuzz::Text(data, size), raw) && raw.objectCount == 0);
        return 0;
    }
    vesk::fuzz::CheckAndExportStaticModel(model);
    VESK_FUZZ_CHECK(vesk::ParseObj(text, model));
    vesk::fuzz::CheckAndExportStaticModel(model);
    // The loaders' own path: raw bytes, CR LF handled while reading lines.
    vesk::StaticModel raw;
    vesk::ParseObjBytes(vesk::fuzz::Text(data, size), raw);
    vesk::ParseObjBytes(vesk::fuzz::Text(data, size), raw);
    vesk::fuzz::CheckSameModel(model, raw);
    model.Clear();
    return 0;
}
