// Looking a record up allocates nothing: the key image is built on the stack
// and the record lands in the embedded buffer.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "reclink/hooks.h"
#include "record_classes.h"

namespace {

thread_local bool g_counting = false;  // count the allocations of this thread
thread_local int g_allocations = 0;    // allocations seen while counting

// A record manager that knows no key: every call answers 4 without allocating.
int NoSuchKey(uint16_t, void*, void*, uint32_t*, void*, uint8_t, int8_t) { return 4; }

}  // namespace

// Counts, and fills new memory with a pattern, so that a field the library
// leaves unset shows in every test of this program.
void* operator new(std::size_t size) {
  if (g_counting) ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return std::memset(p, 0xA5, size);
  throw std::bad_alloc();
}
// g++ takes the replaced operator new for the standard one and warns
// falsely that free() does not match it.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace reclink::test {
namespace {

TEST(AllocationTest, LookUpsAllocateNothing) {
  const char* values[4] = {"P", "S", "A", "1"};
  BtrieveEntry previous = SetBtrieveEntry(NoSuchKey);
  std::vector<int> statuses;
  statuses.reserve(EveryClass::kClasses + 2);
  EveryClass::ForEach([&]<class C, auto LookUp>() {
    C object("db\\");
    g_allocations = 0;
    g_counting = true;
    statuses.push_back(CallLookUp(object, LookUp, values));
    g_counting = false;
    EXPECT_EQ(g_allocations, 0) << C::kRow.className;
  });
  CPatientDB patients("db\\");
  CCustomTblDB table("db\\");
  g_counting = true;
  statuses.push_back(patients.GetPatientDataByID("X"));
  statuses.push_back(table.GetStaffData("5"));  // with its second try
  g_counting = false;
  SetBtrieveEntry(previous);
  EXPECT_EQ(statuses, std::vector<int>(EveryClass::kClasses + 2, 4));
  EXPECT_EQ(g_allocations, 0);
}

}  // namespace
}  // namespace reclink::test
