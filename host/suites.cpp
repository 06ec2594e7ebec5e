// Suite acquisition for the shell's handlers (see suites.h for the rules).
// Beyond the host's error code, a suite reported as acquired but handed over
// as a null table is treated as missing: it is given back at once and the
// caller sees the usual failure, instead of calling through a null table.
#include "host/suites.h"

#include <cstdio>

namespace shardcast {
namespace {

constexpr const char* kMissingSuiteMessage = "Not able to acquire AEFX Suite.";

void report_missing_suite(PF_InData* in_data, PF_OutData* out_data) {
  if (out_data == nullptr) {
    return;
  }
  out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
  if (in_data->utils != nullptr && in_data->utils->ansi.sprintf != nullptr) {
    // The message is the format string itself; it holds no conversions.
    in_data->utils->ansi.sprintf(out_data->return_msg, kMissingSuiteMessage);
  } else {
    std::snprintf(out_data->return_msg, sizeof out_data->return_msg, "%s", kMissingSuiteMessage);
  }
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

const PF_ANSICallbacksSuite1* SuiteCache::ansi() {
  return static_cast<const PF_ANSICallbacksSuite1*>(request(ansi_));
}

const void* SuiteCache::request(Slot& slot) {
  if (slot.suite != nullptr) {
    return slot.suite;
  }
  const SPErr err = basic_->AcquireSuite(slot.name, slot.version, &slot.suite);
  if (err != kSPNoError || slot.suite == nullptr) {
    if (err == kSPNoError) {
      // Acquired, but nothing usable came with it: give it back.
      basic_->ReleaseSuite(slot.name, slot.version);
    }
    slot.suite = nullptr;  // a failed acquisition holds nothing
    throw static_cast<A_long>(PF_Err_BAD_CALLBACK_PARAM);
  }
  return slot.suite;
}

ScopedSuite::ScopedSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, int32 version)
    : basic_(in_data->pica_basicP), name_(name), version_(version) {
  SPErr err = kSPSuiteNotFoundError;
  if (basic_ != nullptr) {
    err = basic_->AcquireSuite(name_, version_, &suite_);
    if (err == kSPNoError && suite_ == nullptr) {
      basic_->ReleaseSuite(name_, version_);
      err = kSPSuiteNotFoundError;
    }
  }
  if (err != kSPNoError) {
    suite_ = nullptr;
    report_missing_suite(in_data, out_data);
    throw static_cast<A_long>(A_Err_MISSING_SUITE);
  }
}

ScopedSuite::~ScopedSuite() { basic_->ReleaseSuite(name_, version_); }

OptionalSuite::OptionalSuite(SPBasicSuite* basic, const char* name, int32 version)
    : basic_(basic), name_(name), version_(version) {
  if (basic_ == nullptr) {
    return;
  }
  acquired_ = basic_->AcquireSuite(name_, version_, &suite_) == kSPNoError;
  if (!acquired_) {
    suite_ = nullptr;
  }
}

OptionalSuite::~OptionalSuite() {
  if (acquired_) {
    basic_->ReleaseSuite(name_, version_);
  }
}

}  // namespace shardcast
