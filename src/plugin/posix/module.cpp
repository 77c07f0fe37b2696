#include "plugin/module.h"

namespace orbisk {

// Ended with the library's other static objects, at exit: the threads still
// run then and are stopped and joined.
Module& TheModule() {
    static Module module;
    return module;
}

// dlclose never unmaps the library (it is linked with -z nodelete).
std::shared_ptr<void> KeepLibraryLoaded() { return nullptr; }

}  // namespace orbisk
