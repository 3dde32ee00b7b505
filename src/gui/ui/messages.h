#pragma once

// Every message of the program is a modal box with the caption "TRV_T" and one OK button;
// the windows show them through the Prompts they are given (ui/prompts.h).
namespace trv::msg {

// The box's icon: information, warning, critical, or none.
enum class Kind { Info, Warning, Critical, Plain };

inline constexpr const char* kCaption = "TRV_T";

}  // namespace trv::msg
