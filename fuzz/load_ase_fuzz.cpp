// ASE text from arbitrary bytes (a load replaces the whole model, so one
// load per input covers it).
#include "fuzz_support.h"
#include "io/file.h"
#include "loaders/static_model.h"
#include "raw_text_checks.h"
#include "static_model_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    vesk::StaticModel &model = vesk::TheStaticModel();
    model.Clear();
    const bool loaded = vesk::ParseAseBytes(vesk::fuzz::Text(data, size), model);
    // A refused file leaves what was held (here: nothing).
    if (!loaded) VESK_FUZZ_CHECK(model.objectCount == 0 && model.objects.empty() && model.materials.empty());
    vesk::fuzz::CheckAndExportStaticModel(model);
    // The same text with CR LF line ends, loaded over a model that held more:
    // the same verdict, and the same model where it loads.
    vesk::StaticModel crlf;
    vesk::ParseObjBytes("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", crlf);
    const std::string text = vesk::TextModeFromBytes(vesk::fuzz::Text(data, size));
    VESK_FUZZ_CHECK(vesk::ParseAseBytes(vesk::fuzz::WithCrLf(text), crlf) == loaded);
    if (loaded) vesk::fuzz::CheckSameModel(model, crlf);
    model.Clear();
    return 0;
}
