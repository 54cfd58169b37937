// Runs the engine on a word list and collects everything it writes.
#pragma once

#include <string>
#include <vector>

#include "engine/engine_main.h"

struct EngineRun {
    OutputLog log;
    RunContext context;
    std::string output;

    EngineRun() {
        log.publish = [this](const std::string& line) { output += line; };
        engine_attach(&context, &log);
    }
    ~EngineRun() { engine_detach(&context); }

    // Runs `diskward` followed by `words`; clears the output first.
    ResultCode run(const std::vector<std::string>& words) {
        output.clear();
        std::vector<const char*> argv{"diskward"};
        for (const std::string& w : words) argv.push_back(w.c_str());
        return engine_main(&context, int(argv.size()), argv.data());
    }
};
