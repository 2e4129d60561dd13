// IBANs and Italian bank coordinates: the check-digit arithmetic, building an
// IBAN from its Italian parts, and checking one before it is sent.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace doz {

// The CIN letter of Italian bank coordinates: the 22 characters ABI (5 digits),
// CAB (5 digits) and account (up to 12 letters or digits, zero-filled on the
// left), the odd positions weighted by the CIN table and the even ones by
// their value, the sum modulo 26 as a letter. Blanks around each part are
// ignored; nothing when a part is not of that form.
std::optional<char> ItalianCin(std::string_view abi, std::string_view cab, std::string_view account);

// The two check digits of the IBAN country + ?? + bban (ISO 7064 mod 97-10);
// nothing when the country is not two letters or the bban holds anything but
// letters and digits.
std::optional<std::string> IbanCheckDigits(std::string_view country, std::string_view bban);
// True when the whole IBAN's check digits hold (blanks inside are ignored).
bool IbanIsValid(std::string_view iban);


// The length of the IBANs of a country (two capital letters), 0 when the
// country is not one that issues IBANs.
int IbanLength(std::string_view country);

// The IBAN of Italian (or San Marino) coordinates: country + check digits +
// CIN + ABI (5) + CAB (5) + account (12, zero-filled on the left). A CIN left
// empty is computed. Blanks around each part are ignored. Empty when a part is
// not of its form (ABI or CAB not five digits, account longer than 12 or not
// letters and digits, CIN not one letter).
std::string BuildItalianIban(std::string_view country, std::string_view cin, std::string_view abi,
                             std::string_view cab, std::string_view account);

// Why an IBAN cannot be sent, in Italian (Windows-1252), or nothing when it is
// sound: its form (letters and digits, country and length), its ISO 7064
// check digits and, for an Italian one, the CIN against ABI, CAB and account.
// Blanks are not allowed: the message carries the IBAN as one word.
std::optional<std::string> IbanFault(std::string_view iban);

// The ABI inside an Italian IBAN (characters 6 to 10); empty for any other.
std::string_view IbanAbi(std::string_view iban);

// The IBAN a text holds, as one word in capitals ("it60 x054..." gives
// "IT60X054..."); empty when the text does not begin, blanks aside, with two
// letters and two digits (then it holds no IBAN: an account number, say).
std::string IbanInText(std::string_view text);

}  // namespace doz
