// Registry.h --- the Win32 registry calls over our shared SQLite store ($TARVO_HOME/registry.db).
//
// Keys live under HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE; names compare
// case-insensitively and keep the case they were created with. Values are typed
// (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_BINARY). All processes
// share the store: every call is one transaction, so concurrent writers of
// different values of one key lose nothing. Answers are Win32 error codes
// (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_MORE_DATA, ...). Thread-safe.
#pragma once

#include <string>

#include "platform/core/NtTypes.h"

namespace tarvo::platform {

struct RegistryKeyObject;
using HKEY = RegistryKeyObject*;
using REGSAM = DWORD;
using LSTATUS = LONG;

// Predefined root keys.
extern HKEY const HKEY_CURRENT_USER;
extern HKEY const HKEY_LOCAL_MACHINE;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// A handle whose key another caller deleted.
constexpr DWORD ERROR_KEY_DELETED = 1018;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

LSTATUS RegCreateKeyA(HKEY key, const char* subKey, HKEY* result);
LSTATUS RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* className, DWORD options,
                        REGSAM desired, void* securityAttributes, HKEY* result, DWORD* disposition);
LSTATUS RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM desired, HKEY* result);
// Two-call size protocol: data null gives the size in *dataSize; a buffer too
// small answers ERROR_MORE_DATA with the needed size. String data include their
// terminator(s) in the size. A missing value answers ERROR_FILE_NOT_FOUND; a
// damaged store ERROR_BADDB.
LSTATUS RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                         DWORD* dataSize);
// String values (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) are stored terminated
// even when the writer left the terminator out, so readers never run past the
// data. REG_DWORD data must be 4 bytes (ERROR_INVALID_PARAMETER otherwise).
LSTATUS RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD dataSize);
LSTATUS RegDeleteValueA(HKEY key, const char* valueName);
// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED when it has some).
LSTATUS RegDeleteKeyA(HKEY key, const char* subKey);
// Deletes a key with all its subkeys and values, in one transaction. A null
// subKey deletes the subkeys and values of key itself, leaving key.
LSTATUS RegDeleteTreeA(HKEY key, const char* subKey);
LSTATUS RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved, char* className,
                      DWORD* classSize, void* lastWriteTime);
LSTATUS RegEnumValueA(HKEY key, DWORD index, char* valueName, DWORD* valueNameSize, DWORD* reserved,
                      DWORD* type, BYTE* data, DWORD* dataSize);
LSTATUS RegCloseKey(HKEY key);

// The framework's profile functions: values under
// HKEY_CURRENT_USER\Software\<registry key>\<application title>\<section>.
void SetRegistryKey(const char* registryKey, const char* applicationTitle);
UINT GetProfileInt(const char* section, const char* entry, int defaultValue);
std::string GetProfileString(const char* section, const char* entry, const char* defaultValue = "");
BOOL WriteProfileInt(const char* section, const char* entry, int value);
BOOL WriteProfileString(const char* section, const char* entry, const char* value);

}  // namespace tarvo::platform
