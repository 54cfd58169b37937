// The version entries of a product file: the name of the version product
// and the installer version the run checks against. Version texts are
// compared with text_version_compare (sys/text.h).
#pragma once

#include <string>

#include "engine/run_context.h"

// The version product's name: the operating-system word and "instver".
std::string version_product_name(const RunContext* run);
// The installer version the run checks against.
std::string current_installer_version(const RunContext* run);
