// Which of a captured child's standard handles go into its inheritance list: a list that holds a
// handle twice, or one that can't be inherited, makes CreateProcessW fail on Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "process/child_process.h"

namespace {

HANDLE makeEvent(bool inheritable) {
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, inheritable ? TRUE : FALSE};
  return CreateEventW(&attributes, TRUE, FALSE, nullptr);
}

}  // namespace

TEST(InheritanceList, KeepsRealInheritableHandlesOnceInTheirOrder) {
  HANDLE out = makeEvent(true);
  HANDLE err = makeEvent(true);
  HANDLE privateOne = makeEvent(false);
  ASSERT_TRUE(out && err && privateOne);
  // A console handle of Windows 7 looks like this: not a kernel handle.
  HANDLE consoleLike = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(3));

  EXPECT_EQ((std::vector<HANDLE>{out, err}), inheritableStandardHandles({out, err, nullptr}));
  EXPECT_EQ((std::vector<HANDLE>{err, out}), inheritableStandardHandles({err, out, INVALID_HANDLE_VALUE}));
  // Standard output and standard error may be one pipe.
  EXPECT_EQ((std::vector<HANDLE>{out}), inheritableStandardHandles({out, out, out}));
  EXPECT_EQ((std::vector<HANDLE>{out, err}), inheritableStandardHandles({out, err, privateOne}));
  EXPECT_EQ((std::vector<HANDLE>{out}), inheritableStandardHandles({consoleLike, out}));
  EXPECT_TRUE(inheritableStandardHandles({}).empty());

  CloseHandle(out);
  CloseHandle(err);
  CloseHandle(privateOne);
}
