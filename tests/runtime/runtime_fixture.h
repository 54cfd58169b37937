// A runtime context for each test, destroyed with it, and small helpers to
// read values back as plain texts.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "runtime/runtime_context.h"
#include "runtime/strings.h"

class RuntimeTest : public ::testing::Test {
protected:
    RuntimeContext* rt = rt_create();
    ~RuntimeTest() override { rt_destroy(rt); }

    // The text of a string value; "<none>" for an absent one.
    std::string text(Value s) {
        const char* t = string_text(rt, s);
        return t ? std::string(t) : std::string("<none>");
    }
    // Lets exactly `count` more allocations succeed.
    void allow_allocations(uint32_t count) {
        rt->limit_allocations = true;
        rt->allocations_left = count;
    }
    void allow_all_allocations() { rt->limit_allocations = false; }
};
