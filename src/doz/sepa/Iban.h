// IBANs of the credit-transfer request: building one from Italian bank
// coordinates and checking one before it is sent.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace doz::sepa {

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

}  // namespace doz::sepa
