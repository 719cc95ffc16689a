#pragma once

// The texts of encrypted archives: the password question, its answers, the Archive menu's
// encryption item and what the status bar says while adds are encrypted. Header only.
namespace res {

inline constexpr char kPasswordCaption[] = "Password Required";
// %1: the archive's file name.
inline constexpr char kPasswordQuestion[] = "Enter the password for the encrypted files of \"%1\":";
// Put in front of the question when the last password failed; %1: the members it failed for.
inline constexpr char kPasswordWrong[] = "The password is wrong for %1.";
inline constexpr char kPasswordLabel[] = "&Password:";
inline constexpr char kPasswordConfirmLabel[] = "&Confirm:";
inline constexpr char kShowPassword[] = "&Show Password";

inline constexpr char kEncryptCaption[] = "Encrypt Added Files";
// %1: the archive's file name.
inline constexpr char kEncryptQuestion[] =
    "Files added to \"%1\" from now on are encrypted with AES-256. Enter their password twice:";
inline constexpr char kPasswordsDiffer[] =
    "The two passwords differ. Enter the same password in both fields.";
inline constexpr char kPasswordEmpty[] = "A password cannot be empty.";
inline constexpr char kAddsEncryptedStatus[] = "Adds encrypted (AES-256)";

// After an extract in which the user gave no password for some encrypted members.
inline constexpr char kSkippedWithoutPassword[] =
    "These encrypted files were not extracted, as no password was given:";

} // namespace res
