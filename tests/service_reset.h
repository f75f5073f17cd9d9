// SPDX-License-Identifier: Apache-2.0
// A fresh service state for each test of the service's code: the test double
// and the service's process-wide variables as they are at process start.
#pragma once

#include <gtest/gtest.h>

// Resets the test double and every process-wide variable of the service to
// its value at process start.
void ResetService();

// Every test of the service starts from a reset service and double.
class ServiceTest : public testing::Test {
protected:
    void SetUp() override { ResetService(); }
    void TearDown() override { ResetService(); }
};
