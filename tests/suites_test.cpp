// The shell's three ways of holding host suites, against a bare basic suite
// that counts what it hands out and gets back.
#include "host/suites.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "AE_EffectSuites.h"
#include "PrSDKAESupport.h"
#include "host/effect_messages.h"

// The effect linked into this test renders nothing.
shardcast::MessageSink shardcast::effect_messages() { return MessageSink::discard(); }

namespace shardcast {
namespace {

struct CountingHost {
  static inline int acquired = 0;
  static inline int released = 0;
  static inline SPErr answer = kSPNoError;
  static inline const void* table = nullptr;  // what AcquireSuite hands out, whatever it answers
  static inline std::string last_released;

  static SPErr acquire(const char*, int32, const void** suite) {
    ++acquired;
    *suite = table;
    return answer;
  }
  static SPErr release(const char* name, int32 version) {
    ++released;
    last_released = std::string(name) + " " + std::to_string(version);
    return kSPNoError;
  }

  SPBasicSuite basic{};
  PF_ANSICallbacksSuite1 ansi{};

  CountingHost(SPErr result, bool with_table) {
    acquired = released = 0;
    last_released.clear();
    answer = result;
    table = with_table ? &ansi : nullptr;
    basic.AcquireSuite = acquire;
    basic.ReleaseSuite = release;
  }
};

A_long thrown_by(void (*body)(SPBasicSuite*), SPBasicSuite* basic) {
  try {
    body(basic);
  } catch (A_long code) {
    return code;
  }
  return 0;
}

TEST(SuiteCache, ASecondRequestIsAnsweredFromTheSlotAndTheSuiteIsReleasedOnce) {
  CountingHost host(kSPNoError, true);
  {
    SuiteCache cache(&host.basic);
    const PF_ANSICallbacksSuite1* first = cache.ansi();
    const PF_ANSICallbacksSuite1* second = cache.ansi();
    EXPECT_EQ(first, &host.ansi);
    EXPECT_EQ(second, first);
    EXPECT_EQ(CountingHost::acquired, 1);
    EXPECT_EQ(CountingHost::released, 0);
  }
  EXPECT_EQ(CountingHost::released, 1);
  EXPECT_EQ(CountingHost::last_released, "PF ANSI Suite 1");
}

TEST(SuiteCache, FailuresThrow516AndHoldNothing) {
  struct Case {
    const char* name;
    SPErr answer;
    bool with_table;
    bool null_basic;
    int released;  // a table granted without an address is given back at once
  };
  for (const Case c :
       {Case{"no basic suite", kSPNoError, true, true, 0}, Case{"suite refused", kSPSuiteNotFoundError, true, false, 0},
        Case{"granted without a table", kSPNoError, false, false, 1}}) {
    SCOPED_TRACE(c.name);
    CountingHost host(c.answer, c.with_table);
    const A_long code = thrown_by(
        [](SPBasicSuite* basic) {
          SuiteCache cache(basic);
          cache.ansi();
        },
        c.null_basic ? nullptr : &host.basic);
    EXPECT_EQ(code, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(CountingHost::released, c.released);
  }
}

TEST(SuiteCache, NothingRequestedNothingReleased) {
  CountingHost host(kSPNoError, true);
  { SuiteCache cache(&host.basic); }
  EXPECT_EQ(CountingHost::acquired, 0);
  EXPECT_EQ(CountingHost::released, 0);
}

// Only the host's answer decides: an error with a table filled in all the
// same is a missing suite, never used and never released.
TEST(ScopedSuite, AnErrorWithATableIsMissingAndShownToTheUser) {
  CountingHost host(kSPSuiteNotFoundError, true);
  PF_InData in_data{};
  in_data.pica_basicP = &host.basic;
  PF_OutData out_data{};
  A_long code = 0;
  try {
    ScopedSuite suite(&in_data, &out_data, kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3);
  } catch (A_long thrown) {
    code = thrown;
  }
  EXPECT_EQ(code, A_Err_MISSING_SUITE);
  EXPECT_NE(out_data.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
  EXPECT_STREQ(out_data.return_msg, "Not able to acquire AEFX Suite.");
  EXPECT_EQ(CountingHost::released, 0);
}

TEST(ScopedSuite, AGrantedSuiteIsReleasedUnderItsNameAndVersionWhenTheScopeEnds) {
  CountingHost host(kSPNoError, true);
  PF_InData in_data{};
  in_data.pica_basicP = &host.basic;
  {
    ScopedSuite suite(&in_data, nullptr, kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3);
    EXPECT_EQ(suite.get<void>(), &host.ansi);
    EXPECT_EQ(CountingHost::released, 0);
  }
  EXPECT_EQ(CountingHost::released, 1);
  EXPECT_EQ(CountingHost::last_released, "PF Param Utils Suite 3");
}

TEST(OptionalSuite, AnErrorWithATableGivesNothingAndReleasesNothing) {
  for (const bool with_table : {false, true}) {
    SCOPED_TRACE(with_table);
    CountingHost host(kSPSuiteNotFoundError, with_table);
    {
      OptionalSuite suite(&host.basic, kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1);
      EXPECT_EQ(suite.get<void>(), nullptr);
    }
    EXPECT_EQ(CountingHost::acquired, 1);
    EXPECT_EQ(CountingHost::released, 0);
  }
}

}  // namespace
}  // namespace shardcast
