#pragma once
// A day at the clinic, played through the library on a fresh database: the
// steps of the demonstration and what they found.

#include <iosfwd>
#include <string>

namespace reclink::cli {

// Runs the day on the database in dir (every record file created, empty),
// telling the story on out. profile: a profile file naming dir, for the
// numbered interface. Returns the number of expectations that failed.
int PlayClinicDay(const std::string& dir, const std::string& profile, std::ostream& out);

}  // namespace reclink::cli
