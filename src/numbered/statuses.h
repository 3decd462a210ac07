#pragma once
// Statuses the numbered interface gives meaning to beyond the record
// manager's own constants.

namespace reclink::numbered {

// Returned, with its box, when an operation cannot have the memory it hands
// to the record manager: the operation then calls nothing.
constexpr int kStatusNoMemory = 101;

}  // namespace reclink::numbered
