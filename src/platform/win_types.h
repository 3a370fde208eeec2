// SPDX-License-Identifier: GPL-2.0-or-later
// Scalar names of the pipeline's vocabulary (the Windows ones the filters are written in),
// HRESULT with the standard numeric values, and the time unit of the pipeline.
#pragma once

#include <cstdint>

namespace rizuvira::platform {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using BOOL = std::int32_t;
using LONGLONG = std::int64_t;
using LONG_PTR = std::intptr_t;
using DWORD_PTR = std::uintptr_t;
using LCID = std::uint32_t;

// Times inside the pipeline: signed counts of 100 ns.
using REFERENCE_TIME = std::int64_t;
inline constexpr REFERENCE_TIME UNITS = 10'000'000;  // 100-ns units per second
inline constexpr REFERENCE_TIME MILLISECONDS = 10'000;

inline constexpr DWORD INFINITE = 0xFFFFFFFFu;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

using HRESULT = std::int32_t;

constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

constexpr HRESULT MakeHresult(std::uint32_t value) {
    return static_cast<HRESULT>(value);
}

// Generic results.
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT NOERROR = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MakeHresult(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = MakeHresult(0x80004002u);
inline constexpr HRESULT E_POINTER = MakeHresult(0x80004003u);
inline constexpr HRESULT E_ABORT = MakeHresult(0x80004004u);
inline constexpr HRESULT E_FAIL = MakeHresult(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = MakeHresult(0x8000FFFFu);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHresult(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = MakeHresult(0x80070057u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHresult(0x80040110u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHresult(0x80040154u);

// Pipeline results (facility 4, codes 0x200 and up; 0x103 for "no more items").
inline constexpr HRESULT VFW_S_NO_MORE_ITEMS = 0x00040103;
inline constexpr HRESULT VFW_E_INVALIDMEDIATYPE = MakeHresult(0x80040200u);
inline constexpr HRESULT VFW_E_INVALIDSUBTYPE = MakeHresult(0x80040201u);
inline constexpr HRESULT VFW_E_ALREADY_CONNECTED = MakeHresult(0x80040204u);
inline constexpr HRESULT VFW_E_FILTER_ACTIVE = MakeHresult(0x80040205u);
inline constexpr HRESULT VFW_E_NO_TYPES = MakeHresult(0x80040206u);
inline constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = MakeHresult(0x80040207u);
inline constexpr HRESULT VFW_E_INVALID_DIRECTION = MakeHresult(0x80040208u);
inline constexpr HRESULT VFW_E_NOT_CONNECTED = MakeHresult(0x80040209u);
inline constexpr HRESULT VFW_E_NO_ALLOCATOR = MakeHresult(0x8004020Au);
inline constexpr HRESULT VFW_E_RUNTIME_ERROR = MakeHresult(0x8004020Bu);
inline constexpr HRESULT VFW_E_BUFFER_NOTSET = MakeHresult(0x8004020Cu);
inline constexpr HRESULT VFW_E_BUFFER_OVERFLOW = MakeHresult(0x8004020Du);
inline constexpr HRESULT VFW_E_BADALIGN = MakeHresult(0x8004020Eu);
inline constexpr HRESULT VFW_E_ALREADY_COMMITTED = MakeHresult(0x8004020Fu);
inline constexpr HRESULT VFW_E_BUFFERS_OUTSTANDING = MakeHresult(0x80040210u);
inline constexpr HRESULT VFW_E_NOT_COMMITTED = MakeHresult(0x80040211u);
inline constexpr HRESULT VFW_E_SIZENOTSET = MakeHresult(0x80040212u);
inline constexpr HRESULT VFW_E_NO_CLOCK = MakeHresult(0x80040213u);
inline constexpr HRESULT VFW_E_NO_SINK = MakeHresult(0x80040214u);
inline constexpr HRESULT VFW_E_NO_INTERFACE = MakeHresult(0x80040215u);
inline constexpr HRESULT VFW_E_NOT_FOUND = MakeHresult(0x80040216u);
inline constexpr HRESULT VFW_E_CANNOT_CONNECT = MakeHresult(0x80040217u);
inline constexpr HRESULT VFW_E_CANNOT_RENDER = MakeHresult(0x80040218u);
inline constexpr HRESULT VFW_E_CHANGING_FORMAT = MakeHresult(0x80040219u);
inline constexpr HRESULT VFW_E_STATE_CHANGED = MakeHresult(0x80040223u);
inline constexpr HRESULT VFW_E_NOT_STOPPED = MakeHresult(0x80040224u);
inline constexpr HRESULT VFW_E_NOT_PAUSED = MakeHresult(0x80040225u);
inline constexpr HRESULT VFW_E_NOT_RUNNING = MakeHresult(0x80040226u);
inline constexpr HRESULT VFW_E_WRONG_STATE = MakeHresult(0x80040227u);
inline constexpr HRESULT VFW_E_START_TIME_AFTER_END = MakeHresult(0x80040228u);
inline constexpr HRESULT VFW_E_INVALID_RECT = MakeHresult(0x80040229u);
inline constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = MakeHresult(0x8004022Au);
inline constexpr HRESULT VFW_E_SAMPLE_REJECTED = MakeHresult(0x8004022Bu);
inline constexpr HRESULT VFW_E_SAMPLE_REJECTED_EOS = MakeHresult(0x8004022Cu);
inline constexpr HRESULT VFW_E_DUPLICATE_NAME = MakeHresult(0x8004022Du);
inline constexpr HRESULT VFW_S_DUPLICATE_NAME = 0x0004022D;
inline constexpr HRESULT VFW_E_TIMEOUT = MakeHresult(0x8004022Eu);
inline constexpr HRESULT VFW_E_INVALID_FILE_FORMAT = MakeHresult(0x8004022Fu);
inline constexpr HRESULT VFW_E_ENUM_OUT_OF_RANGE = MakeHresult(0x80040230u);
inline constexpr HRESULT VFW_E_CIRCULAR_GRAPH = MakeHresult(0x80040231u);
inline constexpr HRESULT VFW_S_STATE_INTERMEDIATE = 0x00040237;
inline constexpr HRESULT VFW_E_UNKNOWN_FILE_TYPE = MakeHresult(0x80040240u);
inline constexpr HRESULT VFW_S_PARTIAL_RENDER = 0x00040242;
inline constexpr HRESULT VFW_E_FILE_TOO_SHORT = MakeHresult(0x80040243u);
inline constexpr HRESULT VFW_E_INVALID_MEDIA_TYPE = MakeHresult(0x80040248u);
inline constexpr HRESULT VFW_E_SAMPLE_TIME_NOT_SET = MakeHresult(0x80040249u);
inline constexpr HRESULT VFW_E_MEDIA_TIME_NOT_SET = MakeHresult(0x80040251u);
inline constexpr HRESULT VFW_E_NO_TIME_FORMAT_SET = MakeHresult(0x80040252u);
inline constexpr HRESULT VFW_E_NOT_IN_GRAPH = MakeHresult(0x8004025Fu);
inline constexpr HRESULT VFW_E_NO_TIME_FORMAT = MakeHresult(0x80040261u);
inline constexpr HRESULT VFW_E_READ_ONLY = MakeHresult(0x80040262u);
inline constexpr HRESULT VFW_E_BUFFER_UNDERFLOW = MakeHresult(0x80040264u);
inline constexpr HRESULT VFW_E_UNSUPPORTED_STREAM = MakeHresult(0x80040265u);
inline constexpr HRESULT VFW_E_NO_TRANSPORT = MakeHresult(0x80040266u);
inline constexpr HRESULT VFW_S_NO_STOP_TIME = 0x00040270;

}  // namespace rizuvira::platform

// Every layer is written in the pipeline's vocabulary; its names are used
// unqualified throughout the project's namespaces.
namespace rizuvira {
using namespace platform;
}  // namespace rizuvira
