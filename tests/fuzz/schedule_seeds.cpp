// SPDX-License-Identifier: Apache-2.0
// Writes the schedule table's contents into a folder, one file each, as the
// fuzzer's first inputs.
#include <cstdio>
#include <string>

#include "../schedule_cases.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: schedule_seeds FOLDER\n");
        return 2;
    }
    int number = 0;
    for (const ScheduleCase& c : ScheduleCases) {
        std::string path = std::string(argv[1]) + "/table-" + std::to_string(number++);
        FILE* file = fopen(path.c_str(), "wb");
        if (file == nullptr || fwrite(c.Content.data(), 1, c.Content.size(), file) != c.Content.size() ||
            fclose(file) != 0) {
            perror(path.c_str());
            return 1;
        }
    }
    return 0;
}
