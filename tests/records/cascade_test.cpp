// The cascading deletes: all photos of a patient, all items of a photo set
// (the text items' delete, the same walk, in photo_set_test.cpp), all
// treatment items of a surgery. Each deletes exactly its group; the photo
// and photo-set cascades go on after a failed delete, the treatment cascade
// stops at it.

#include <gtest/gtest.h>

#include <functional>

#include "reclink/btrieve.h"
#include "reclink/records/photo.h"
#include "reclink/records/photo_set.h"
#include "reclink/records/surgery.h"
#include "record_db.h"

namespace reclink::test {
namespace {

class CascadeTest : public DatabaseTest {
 protected:
  void SetUp() override { CreateAndOpen({&photos, &images, &items}); }
  CPhotoDB photos{dir().c_str()};
  CTZPhotoEXImgDB images{dir().c_str()};
  CSurgeryTreatmentDB items{dir().c_str()};
};

TEST_F(CascadeTest, EachDeletesItsGroupAndGoesOnOrStopsAfterAFailedDelete) {
  // A group is a patient's photos, the items of set G of patient P, or the
  // treatment items of surgery (P, S, G); an item is told by its last field.
  struct Cascade {
    const char* name;
    CBaseRecLink& object;
    std::function<void(const char* group, const char* item)> store;
    std::function<int(const char* group)> remove;
    int none;    // what deleting an empty group gives
    bool stops;  // at the first failed delete
  };
  const Cascade cascades[] = {
      {"photos", photos,
       [&](const char* g, const char* i) { Store(photos, {{0, g}, {21, i}}); },
       [&](const char* g) { return photos.DeletePhotoOfPatient(g); }, -1, false},
      {"image items", images,
       [&](const char* g, const char* i) { Store(images, {{0, "P"}, {21, g}, {32, i}}); },
       [&](const char* g) { return images.DeleteAllItemOf("P", g); }, 0, false},
      {"treatment items", items,
       [&](const char* g, const char* i) { Store(items, {{0, "P"}, {21, "S"}, {32, g}, {43, i}}); },
       [&](const char* g) { return items.DeleteAllItemOf("P", "S", g); }, 0, true},
  };
  for (const Cascade& c : cascades) {
    SCOPED_TRACE(c.name);
    boxes_.clear();
    EXPECT_EQ(c.remove("G2"), c.none);                                  // an empty file
    for (const char* group : {"G1", "G25", "G3"}) c.store(group, "1");  // neighbours
    for (const char* item : {"1", "2", "3"}) c.store("G2", item);
    EXPECT_EQ(c.remove("G0"), c.none);  // a group not there
    EXPECT_EQ(c.remove("G2"), 0);
    EXPECT_EQ(CountRecords(c.object), 3);
    EXPECT_EQ(boxes_.count(), 0u);
    for (const char* item : {"1", "2", "3"}) c.store("G2", item);

    // The first delete reaches the file but reports a failure.
    ScriptedBtrieve script;
    script.ScriptAfter(B_DELETE, {80});
    EXPECT_EQ(c.remove("G2"), c.stops ? 80 : 0);  // the status of the last delete
    EXPECT_EQ(script.CountOf(B_DELETE), c.stops ? 1u : 3u);
    EXPECT_EQ(CountRecords(c.object), c.stops ? 5 : 3);
    EXPECT_EQ(boxes_.count(), 1u);
    if (!c.stops) {
      c.store("G2", "1");
      script.ScriptAfter(B_DELETE, {80});
      EXPECT_EQ(c.remove("G2"), 80);  // the only delete failed
    }
    c.object.Close();  // nothing can be read: nothing deleted, after the box
    EXPECT_EQ(c.remove("G2"), c.none);
  }
}

}  // namespace
}  // namespace reclink::test
