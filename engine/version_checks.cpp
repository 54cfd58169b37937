// The version product's name and the current installer version.
#include "engine/version_checks.h"

std::string version_product_name(const RunContext* rc) {
    return rc->options.os_word + "instver";
}

std::string current_installer_version(const RunContext* rc) {
    return rc->installer_version.empty() ? DEFAULT_INSTALLER_VERSION : rc->installer_version;
}
