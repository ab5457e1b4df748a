#pragma once
// A writer link to an in-process simulated box on a virtual clock.

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "link/LinkTestSupport.h"
#include "link/SimDriver.h"
#include "link/WriterLink.h"

namespace oriole::test {

inline sim::SimConfig SimConfigFor(const std::string& options) {
    std::string error;
    auto config = sim::ParseSimOptions(options, error);
    EXPECT_TRUE(config) << error;
    return config.value_or(sim::SimConfig{});
}

struct SimLink {
    explicit SimLink(const std::string& options = "ATmega8")
        : box(std::make_shared<sim::CSimBox>(SimConfigFor(options), clock)),
          driver(box),
          host(clock),
          link(driver, state, host) {}

    std::vector<std::string> Lines() const { return box->Transcript().Lines(); }

    CVirtualClock clock;
    CLinkState state;
    std::shared_ptr<sim::CSimBox> box;
    CSimDriver driver;
    TestOperationHost host;
    CWriterLink link;
};

inline int Row(const char* name) { return FindDeviceByName(name); }

}  // namespace oriole::test
