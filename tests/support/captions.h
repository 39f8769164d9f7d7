// The captions a user sees, spelled out once for every test that checks them (written here rather
// than taken from the program, so that a changed text in the program fails the tests).
#pragma once

#include <string>
#include <vector>

extern const std::string expectedTitleCaption;
extern const std::string expectedAboutCaption;
// The captions of a batch of 10,000 generations (d with f), in order.
const std::vector<std::string>& expectedBatchCaptions();
