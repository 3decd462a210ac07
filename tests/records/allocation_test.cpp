// Looking a record up allocates nothing: the key image is built on the stack
// and the record lands in the embedded buffer.

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "reclink/hooks.h"
#include "reclink/records.h"

namespace {

thread_local bool g_counting = false;  // count the allocations of this thread
thread_local int g_allocations = 0;    // allocations seen while counting

// A record manager that knows no key: every call answers 4 without allocating.
int NoSuchKey(uint16_t, void*, void*, uint32_t*, void*, uint8_t, int8_t) { return 4; }

}  // namespace

void* operator new(std::size_t size) {
  if (g_counting) ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace reclink::test {
namespace {

TEST(AllocationTest, LookUpsAllocateNothing) {
  BtrieveEntry previous = SetBtrieveEntry(NoSuchKey);
  CPatientDB patients("db\\");
  CSurgeryTreatmentDB items("db\\");
  CCustomTblDB table("db\\");
  g_allocations = 0;
  g_counting = true;
  int a = patients.GetPatientData("0000000001");
  int b = patients.GetPatientDataByID("X");
  int c = items.GetSurgeryTreamentData("P", "S", "A", "1");
  int d = table.GetStaffData("5");
  g_counting = false;
  SetBtrieveEntry(previous);
  EXPECT_EQ(a, 4);
  EXPECT_EQ(b, 4);
  EXPECT_EQ(c, 4);
  EXPECT_EQ(d, 4);
  EXPECT_EQ(g_allocations, 0);
}

}  // namespace
}  // namespace reclink::test
