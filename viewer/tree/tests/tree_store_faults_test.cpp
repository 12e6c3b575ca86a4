// Every allocation of the store's operations failed in turn: each operation
// either completes or leaves the store exactly as it was, and never crashes
// or leaks (the sanitizer build checks the leaks).
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "tests/fault_injection/allocation_faults.h"
#include "tree/tree_store.h"

using namespace tree;

namespace {

// Everything a caller can read of the store, item by item, with the icon
// references it holds.
struct Snapshot {
  std::vector<std::string> items;
  std::map<IconHandle, int> references;
  int32_t top_level = 0;
  bool operator==(const Snapshot&) const = default;
};

std::map<IconHandle, int>* references = nullptr;
void keep(IconHandle icon) { ++(*references)[icon]; }
void release(IconHandle icon) {
  if (--(*references)[icon] == 0) references->erase(icon);
}

std::string describe(const TreeStore& store, int32_t i) {
  std::ostringstream line;
  line << store.depth(i) << ' ' << store.text(i) << " parent " << store.parent(i) << " children "
       << store.child_count(i) << " icon " << reinterpret_cast<intptr_t>(store.icon(i))
       << (store.checked(i) ? " checked" : "") << (store.inconsistent(i) ? " inconsistent" : "") << " colours "
       << store.colour(i, TreeColour::Foreground) << '/' << store.colour(i, TreeColour::Background) << " data "
       << store.data(i) << " path";
  const std::vector<int> path = store.path(i);
  for (int position : path) line << ' ' << position;
  if (store.at_path(path.data(), static_cast<int>(path.size())) != i) line << " (path leads elsewhere)";
  return line.str();
}

Snapshot snapshot(const TreeStore& store, const std::map<IconHandle, int>& held) {
  Snapshot shot{{}, held, store.top_level_count()};
  for (int32_t i = 0; i < store.count(); ++i) shot.items.push_back(describe(store, i));
  return shot;
}

// A small tree with values, icons and a folder long enough to hold its
// texts in more than one place.
void fill(TreeStore& store) {
  const auto icon = [](intptr_t n) { return reinterpret_cast<IconHandle>(n); };
  store.add(-1, "Alpha/", icon(1), 0);
  store.add(-1, "inner.txt", nullptr, 1);
  store.add(-1, "Deeper/", icon(1), 1);
  store.add(-1, "deepest.txt", nullptr, 2);
  store.add(-1, "Beta/", icon(2), 0);
  for (int i = 0; i < 40; ++i) store.add(-1, ("file " + std::to_string(i)).c_str(), nullptr, 1);
  store.add(-1, "Gamma", nullptr, 0);
  store.set_check(1, true, false);
  store.set_colour(2, TreeColour::Foreground, 0x0000FF);
  store.set_data(3, 42);
}

struct Operation {
  const char* name;
  std::function<void(TreeStore&)> run;
};

const Operation Operations[] = {
    {"append", [](TreeStore& s) { s.add(-1, "appended.txt", reinterpret_cast<IconHandle>(3), 1); }},
    {"append a long text", [](TreeStore& s) { s.add(-1, std::string(100000, 'x').c_str(), nullptr, 0); }},
    {"insert in the middle", [](TreeStore& s) { s.add(2, "inserted/", reinterpret_cast<IconHandle>(1), 1); }},
    {"replace a text", [](TreeStore& s) { s.set_text(1, std::string(5000, 'y').c_str()); }},
    {"set a colour on every item", [](TreeStore& s) { s.set_colour(-1, TreeColour::Background, 0x00FF00); }},
    {"remove a folder", [](TreeStore& s) { s.remove(4); }},
    {"remove a file", [](TreeStore& s) { s.remove(3); }},
    {"clear", [](TreeStore& s) { s.clear(); }},
    {"find", [](TreeStore& s) { s.find(0, "FILE 3"); }},
    {"hold, append and report", [](TreeStore& s) {
       s.hold_reports();
       s.add(-1, "held", nullptr, 0);
       s.report_held(1);
       s.release_reports();
     }},
};

TEST(TreeStoreFaults, EveryAllocationOfEveryOperationFailsCleanly) {
  for (const Operation& operation : Operations) {
    SCOPED_TRACE(operation.name);
    // The operation as it goes with nothing failing.
    std::map<IconHandle, int> held;
    references = &held;
    Snapshot done;
    {
      TreeStore store({keep, release});
      fill(store);
      operation.run(store);
      done = snapshot(store, held);
    }
    uint64_t points = 0;
    for (uint64_t fail_at = 1;; ++fail_at) {
      SCOPED_TRACE("allocation " + std::to_string(fail_at));
      held.clear();
      TreeStore store({keep, release});
      fill(store);
      const Snapshot before = snapshot(store, held);
      bool fired = false;
      try {
        fault_injection::AllocationFaults faults(fail_at);
        try {
          operation.run(store);
        } catch (const std::bad_alloc&) {
        }
        fired = faults.fired();
      } catch (const std::bad_alloc&) {
      }
      const Snapshot after = snapshot(store, held);
      if (!fired) {
        EXPECT_EQ(after, done) << "with nothing failing, the operation ends as it does without the hook";
        break;
      }
      ++points;
      // Completed despite the failure (it had a way round it), or left as
      // it was.
      EXPECT_TRUE(after == before || after == done)
          << "a failed " << operation.name << " left the store half changed";
      // What it holds is still a store: it can be added to and walked.
      EXPECT_GE(store.add(-1, "after", nullptr, 0), 0);
      EXPECT_EQ(store.find(-1, "after"), store.count() - 1);
    }
    references = nullptr;
    RecordProperty(std::string("allocation points of ") + operation.name, std::to_string(points));
    std::printf("%s: %llu allocation points\n", operation.name, static_cast<unsigned long long>(points));
  }
}

}  // namespace
