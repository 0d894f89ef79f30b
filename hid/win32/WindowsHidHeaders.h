// The Windows HID, SetupAPI and kernel declarations in the order they need:
// <windows.h> first, then the HID headers, which carry no C linkage of their
// own and so are wrapped here.
#pragma once

// clang-format off
#include <windows.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}
// clang-format on
