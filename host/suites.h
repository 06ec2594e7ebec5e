// The two ways the shell obtains host suites.
//
// SuiteCache serves suites for the length of one handler: a slot per suite,
// filled on first request, released on destruction under the name and
// version it was acquired with. It reports a null basic suite or a suite the
// host will not give with the integer PF_Err_BAD_CALLBACK_PARAM (516),
// without a message.
//
// ScopedSuite acquires exactly one suite for one scope. A refusal is shown
// to the user ("Not able to acquire AEFX Suite." in return_msg, when there is
// a PF_OutData) and thrown as A_Err_MISSING_SUITE (13).
//
// Both throw plain A_long values, which EffectMain turns into the result of
// the command. A failed acquisition never holds anything.
#pragma once

#include "AE_Effect.h"
#include "AE_EffectCB.h"
#include "AE_EffectCBSuites.h"
#include "SPBasic.h"

namespace shardcast {

class SuiteCache {
 public:
  explicit SuiteCache(SPBasicSuite* basic);
  ~SuiteCache();
  SuiteCache(const SuiteCache&) = delete;
  SuiteCache& operator=(const SuiteCache&) = delete;

  // "PF ANSI Suite" version 1.
  const PF_ANSICallbacksSuite1* ansi();

 private:
  struct Slot {
    const char* name;
    int32 version;
    const void* suite = nullptr;
  };

  const void* request(Slot& slot);

  SPBasicSuite* basic_;
  Slot ansi_;
};

// An acquisition for which a missing suite is no error: the pixel format
// probes of global setup and render. Never throws; `get` is null when the
// host gave nothing usable, and only a suite that was given is released.
class OptionalSuite {
 public:
  OptionalSuite(SPBasicSuite* basic, const char* name, int32 version);
  ~OptionalSuite();
  OptionalSuite(const OptionalSuite&) = delete;
  OptionalSuite& operator=(const OptionalSuite&) = delete;

  template <typename Suite>
  const Suite* get() const {
    return static_cast<const Suite*>(suite_);
  }

 private:
  SPBasicSuite* basic_;
  const char* name_;
  int32 version_;
  const void* suite_ = nullptr;
};

// The same acquisition, for one scope that cannot do without the suite.
class ScopedSuite {
 public:
  ScopedSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, int32 version);

  template <typename Suite>
  const Suite* get() const {
    return suite_.get<Suite>();
  }

 private:
  OptionalSuite suite_;
};

}  // namespace shardcast
