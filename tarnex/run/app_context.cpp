#include "app_context.h"

namespace tarnex {

AppContext& App() {
    static AppContext context;
    return context;
}

}  // namespace tarnex
