// The version product's name and the current installer version.
#include "engine/version_checks.h"

std::string version_product_name(const RunContext* run) {
    return run->options.os_word + "instver";
}

std::string current_installer_version(const RunContext* run) {
    return run->installer_version.empty() ? DEFAULT_INSTALLER_VERSION : run->installer_version;
}
