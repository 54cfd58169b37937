// The version entries of a product file: comparing version texts over a
// number of numeric components, and the name of the version product.
#pragma once

#include <string>
#include <string_view>

#include "engine/run_context.h"

// Compare two version texts over at most `n` components ("3.2.1.0.0").
bool version_less(RuntimeContext* rt, std::string_view a, std::string_view b, uint32_t n);
bool version_greater(RuntimeContext* rt, std::string_view a, std::string_view b, uint32_t n);

// The version product's name: the operating-system word and "instver".
std::string version_product_name(const RunContext* rc);
// The installer version the run checks against.
std::string current_installer_version(const RunContext* rc);
