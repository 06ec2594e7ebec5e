// Suite acquisition for the shell's handlers (see suites.h for the rules).
// Beyond the host's error code, a suite reported as acquired but handed over
// as a null table is treated as missing: it is given back at once and the
// caller sees the usual failure, instead of calling through a null table.
#include "host/suites.h"

#include <cstdio>

namespace shardcast {
namespace {

constexpr const char* missing_suite_message = "Not able to acquire AEFX Suite.";

void report_missing_suite(PF_InData* in_data, PF_OutData* out_data) {
  if (out_data == nullptr) {
    return;
  }
  out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
  if (in_data->utils != nullptr && in_data->utils->ansi.sprintf != nullptr) {
    // The message is the format string itself; it holds no conversions.
    in_data->utils->ansi.sprintf(out_data->return_msg, missing_suite_message);
  } else {
    std::snprintf(out_data->return_msg, sizeof out_data->return_msg, "%s", missing_suite_message);
  }
}

// AcquireSuite, with a suite reported as acquired but handed over as a null
// table given back at once and counted as missing.
SPErr acquire_usable(SPBasicSuite* basic, const char* name, int32 version, const void** suite) {
  *suite = nullptr;
  if (basic == nullptr) {
    return kSPSuiteNotFoundError;
  }
  SPErr err = basic->AcquireSuite(name, version, suite);
  if (err == kSPNoError && *suite == nullptr) {
    basic->ReleaseSuite(name, version);
    err = kSPSuiteNotFoundError;
  }
  if (err != kSPNoError) {
    *suite = nullptr;  // a failed acquisition holds nothing
  }
  return err;
}

}  // namespace

SuiteCache::SuiteCache(SPBasicSuite* basic) : basic_(basic), ansi_{kPFANSISuite, kPFANSISuiteVersion1} {
  if (basic_ == nullptr) {
    throw static_cast<A_long>(PF_Err_BAD_CALLBACK_PARAM);
  }
}

SuiteCache::~SuiteCache() {
  if (ansi_.suite != nullptr) {
    basic_->ReleaseSuite(ansi_.name, ansi_.version);
  }
}

const PF_ANSICallbacksSuite1* SuiteCache::ansi() { return static_cast<const PF_ANSICallbacksSuite1*>(request(ansi_)); }

const void* SuiteCache::request(Slot& slot) {
  if (slot.suite != nullptr) {
    return slot.suite;
  }
  if (acquire_usable(basic_, slot.name, slot.version, &slot.suite) != kSPNoError) {
    throw static_cast<A_long>(PF_Err_BAD_CALLBACK_PARAM);
  }
  return slot.suite;
}

ScopedSuite::ScopedSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, int32 version)
    : suite_(in_data->pica_basicP, name, version) {
  if (suite_.get<void>() == nullptr) {
    report_missing_suite(in_data, out_data);
    throw static_cast<A_long>(A_Err_MISSING_SUITE);
  }
}

OptionalSuite::OptionalSuite(SPBasicSuite* basic, const char* name, int32 version)
    : basic_(basic), name_(name), version_(version) {
  acquire_usable(basic_, name_, version_, &suite_);
}

OptionalSuite::~OptionalSuite() {
  if (suite_ != nullptr) {
    basic_->ReleaseSuite(name_, version_);
  }
}

}  // namespace shardcast
