// SPDX-License-Identifier: Apache-2.0
// A small client of the Service Control Manager for the tests under Wine,
// whose sc cannot interrogate: "scm-client <control code>" sends the control
// to the Verdimoor service, "scm-client query" asks for its status. Prints
// the answered status record, or the refusal with its error code.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

static int Print(const SERVICE_STATUS& status)
{
    printf("state %lu accepted %lu exit %lu specific %lu checkpoint %lu hint %lu\n", status.dwCurrentState,
           status.dwControlsAccepted, status.dwWin32ExitCode, status.dwServiceSpecificExitCode, status.dwCheckPoint,
           status.dwWaitHint);
    return 0;
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: scm-client <control code> | query\n");
        return 2;
    }
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) {
        printf("no manager, error %lu\n", GetLastError());
        return 1;
    }
    SC_HANDLE service = OpenServiceA(manager, "Verdimoor", SERVICE_ALL_ACCESS);
    if (service == nullptr) {
        printf("no service, error %lu\n", GetLastError());
        return 1;
    }
    SERVICE_STATUS status = {};
    BOOL answered;
    if (strcmp(argv[1], "query") == 0)
        answered = QueryServiceStatus(service, &status);
    else
        answered = ControlService(service, strtoul(argv[1], nullptr, 0), &status);
    int code = answered ? Print(status) : (printf("refused, error %lu\n", GetLastError()), 1);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return code;
}
