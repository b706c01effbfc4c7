#include "kestril/run.h"

namespace kestril {

int kestril_main(const std::vector<std::string>&, const char*) {
    return 0;
}

} // namespace kestril
