// A fresh simulated machine, an empty recorder and the program's start-up
// state for every test (include from *_sim.cpp only).
#pragma once

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "detection/crc32.h"
#include "environment/protected_names.h"
#include "platform/sim/machine.h"
#include "session/shared_state.h"
#include "support/fake_ui.h"

namespace simtest {

class FreshMachine : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        fakeui::Reset();
        ResetSharedState();
        BuildCrcTable();
        LoadProtectedNames();
    }
    // Tests that arrange their state through Win32 alone run in the same
    // executable: leave them a fresh machine.
    void TearDown() override
    {
        sim::SetCallHook(nullptr);
        sim::Reset();
        fakeui::Reset();
        ResetSharedState();
    }

    // A program that cannot be ended keeps `path` open with `shareMode`.
    static void LockForGood(const std::string& path, DWORD shareMode)
    {
        sim::ProcessSpec guard;
        guard.exeFile = guard.modulePath = "C:\\Program Files\\Guard\\guard.exe";
        guard.canTerminate = false;
        sim::HoldFile(sim::AddProcess(guard), path, shareMode);
    }
};

// A pass over keys that pumps a hundred times has lost its way: an exception
// ends it instead of a hung test.
class BoundedPasses : public FreshMachine {
protected:
    void SetUp() override
    {
        FreshMachine::SetUp();
        fakeui::SetPumpHook([] { throw std::runtime_error("the pass does not end"); }, 100);
    }
};

}  // namespace simtest
