// 3DS chunks from arbitrary bytes, loaded twice: the second load adds to what
// the first left, as a host's second file does.
#include "fuzz_support.h"
#include "loaders/static_model.h"
#include "static_model_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    vesk::StaticModel &model = vesk::TheStaticModel();
    model.Clear();
    const auto bytes = vesk::fuzz::Bytes(data, size);
    if (vesk::Parse3ds(bytes, "fuzz.3ds", model)) {
        vesk::fuzz::CheckAndExportStaticModel(model);
        VESK_FUZZ_CHECK(vesk::Parse3ds(bytes, "fuzz.3ds", model));
        vesk::fuzz::CheckAndExportStaticModel(model);
    } else {
        // A refused file changes nothing.
        VESK_FUZZ_CHECK(model.objectCount == 0 && model.materialCount == 0);
    }
    model.Clear();
    return 0;
}
