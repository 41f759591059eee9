#include "base/LastResort.h"

#include <exception>
#include <new>

namespace qorlu {

std::optional<std::string> RunGuarded(const std::function<void()>& work) {
    try {
        work();
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::string(kStoppedNotEnoughMemory);
    } catch (const std::exception& e) {
        return StoppedByError(e.what());
    } catch (...) {
        return StoppedByError("");
    }
}

} // namespace qorlu
