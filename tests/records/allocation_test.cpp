// Looking a record up allocates nothing: the key image is built on the stack
// and the record lands in the embedded buffer.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "class_table.h"
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
  std::vector<std::unique_ptr<CBaseRecLink>> objects;
  for (const ClassCase& c : kClasses) objects.push_back(c.makeWithDir("db\\"));
  CPatientDB patients("db\\");
  CCustomTblDB table("db\\");
  const char* args[4] = {"P", "S", "A", "1"};
  BtrieveEntry previous = SetBtrieveEntry(NoSuchKey);
  std::vector<int> statuses(43);
  g_allocations = 0;
  g_counting = true;
  for (size_t i = 0; i < objects.size(); ++i) statuses[i] = kClasses[i].lookUp(*objects[i], args);
  statuses[41] = patients.GetPatientDataByID("X");
  statuses[42] = table.GetStaffData("5");  // with its second try
  g_counting = false;
  SetBtrieveEntry(previous);
  EXPECT_EQ(statuses, std::vector<int>(43, 4));
  EXPECT_EQ(g_allocations, 0);
}

}  // namespace
}  // namespace reclink::test
