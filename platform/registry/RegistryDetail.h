// RegistryDetail.h --- helpers of the registry store shared with its tools and tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/NtTypes.h"

namespace tarvo::platform {

// The form in which key and value names compare: ASCII letters lower-cased.
std::string RegistryFold(std::string_view name);

// The SQLite message behind the last ERROR_BADDB, ERROR_CANTOPEN, ERROR_CANTREAD
// or ERROR_CANTWRITE answered on this thread (for tools that show details).
std::string RegistryErrorDetail();

// The bytes a value of this type is stored as: string types gain the
// terminators the writer left out.
std::vector<uint8_t> NormaliseValueData(DWORD type, const BYTE* data, DWORD dataSize);

}  // namespace tarvo::platform
