#include "cli/layout_check.h"

#include "reclink/btrieve.h"

namespace reclink::cli {

namespace {

std::string Segment(int position, int length) {
  return "position " + std::to_string(position) + " length " + std::to_string(length);
}

}  // namespace

std::vector<std::string> LayoutDifferences(const RecordFileRow& row, const FileSpec& spec) {
  std::vector<std::string> out;
  const std::string theirs = std::string(", the database's ") + row.fileName + " has ";
  if (spec.recordLength != row.recordLength) {
    out.push_back("record length " + std::to_string(spec.recordLength) + theirs +
                  std::to_string(row.recordLength));
  }
  if (spec.keys.size() < row.keyCount) {
    out.push_back(std::to_string(spec.keys.size()) + (spec.keys.size() == 1 ? " key" : " keys") +
                  theirs + std::to_string(row.keyCount));
    return out;
  }
  for (int k = 0; k < row.keyCount; ++k) {
    const KeyLayout& want = row.keys[k];
    const KeySpec& have = spec.keys[static_cast<size_t>(k)];
    const std::string key = "key " + std::to_string(k);
    if (static_cast<int>(have.segments.size()) != want.segmentCount) {
      out.push_back(key + " has " + std::to_string(have.segments.size()) + " segments" + theirs +
                    std::to_string(want.segmentCount));
      continue;
    }
    for (int s = 0; s < want.segmentCount; ++s) {
      const SegmentSpec& h = have.segments[static_cast<size_t>(s)];
      const KeySegment& w = want.segments[s];
      if (h.position != w.offset + 1 || h.length != w.width) {
        out.push_back(key + " segment " + std::to_string(s + 1) + ": " +
                      Segment(h.position, h.length) + theirs + Segment(w.offset + 1, w.width));
      }
    }
    if (((have.segments[0].flags & B_KEY_DUPLICATES) != 0) != want.duplicates) {
      out.push_back(key + (want.duplicates ? " refuses duplicates" : " allows duplicates") +
                    theirs + (want.duplicates ? "them allowed" : "them refused"));
    }
  }
  return out;
}

}  // namespace reclink::cli
