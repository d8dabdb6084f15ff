#include "pressmark/writers/document_clock.h"

namespace pressmark {

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

}  // namespace pressmark
