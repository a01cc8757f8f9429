// Form fields of an application/x-www-form-urlencoded body or a query, as a
// server reads them: split on "&" and the first "=", "+" read as a space,
// percent escapes decoded (a malformed escape is kept as it is).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sim {

std::string decodeFormComponent(std::string_view text);
std::vector<std::pair<std::string, std::string>> decodeFormFields(std::string_view text);

}  // namespace sim
