// SPDX-License-Identifier: Apache-2.0
// The POSIX process starts here and runs the same entry as on Windows.
#include "platform/platform.h"

int main()
{
    return WinMain(nullptr, nullptr, nullptr, 0);
}
