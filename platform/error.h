#pragma once
// The calling thread's last error, set by the platform services that fail and
// by the modules that report a failure the same way.

#include <cstdint>

constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorGeneralFailure = 31;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorCallNotImplemented = 120;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorMoreData = 234;
constexpr uint32_t kErrorNoMoreItems = 259;
constexpr uint32_t kErrorTimeout = 1460;

uint32_t GetLastErrorCode();
void SetLastErrorCode(uint32_t code);
