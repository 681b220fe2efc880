// The date stamp that ends every event record: the local date and time of decoding
// as "yyyy.mm.dd hh:nn".
#pragma once

#include <ctime>
#include <string>

namespace varnel {

std::string FormatDateStamp(const std::tm& local);

// The stamp of the current local time.
std::string CurrentDateStamp();

} // namespace varnel
