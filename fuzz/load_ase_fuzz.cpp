// ASE text from arbitrary bytes (a load replaces the whole model, so one
// load per input covers it).
#include "fuzz_support.h"
#include "io/file.h"
#include "loaders/static_model.h"
#include "static_model_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    vesk::StaticModel &model = vesk::TheStaticModel();
    model.Clear();
    const std::string text = vesk::TextModeFromBytes(vesk::fuzz::Text(data, size));
    VESK_FUZZ_CHECK(vesk::ParseAse(text, model));
    vesk::fuzz::CheckAndExportStaticModel(model);
    model.Clear();
    return 0;
}
