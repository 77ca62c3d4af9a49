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
    const std::string text = vesk::TextModeFromBytes(vesk::fuzz::Text(data, size));
    const bool loaded = vesk::ParseAse(text, model);
    // A refused file leaves what was held (here: nothing).
    if (!loaded) VESK_FUZZ_CHECK(model.objectCount == 0 && model.objects.empty() && model.materials.empty());
    vesk::fuzz::CheckAndExportStaticModel(model);
    // The loaders' own path: raw bytes, CR LF handled while reading lines.
    vesk::StaticModel raw;
    VESK_FUZZ_CHECK(vesk::ParseAseBytes(vesk::fuzz::Text(data, size), raw) == loaded);

    vesk::fuzz::CheckSameModel(model, raw);
    model.Clear();
    return 0;
}
