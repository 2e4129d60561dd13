# The credit transfers of a request written by `pzt-bankfile export` (one
# element a line), one a line for bench/sepa-reference.cjs: end-to-end id,
# cents, payee's name, IBAN, remittance, tab-separated, UTF-8, the XML escapes
# undone. Both forms: the interbank one puts a prefix on the element names.
#
#   awk -f bench/xml-transfers.awk STIPENDI.xml > transfers.tsv
function value(line) {
  sub(/^<[^>]*>/, "", line); sub(/<\/[^>]*>$/, "", line)
  gsub(/&lt;/, "<", line); gsub(/&gt;/, ">", line); gsub(/&quot;/, "\"", line); gsub(/&apos;/, "'", line)
  gsub(/&amp;/, "\\&", line)
  return line
}
/<([A-Z]+:)?CdtTrfTxInf>/ { inTransfer = 1; inCreditor = 0; id = cents = name = iban = remittance = ""; next }
!inTransfer { next }
/<([A-Z]+:)?EndToEndId>/ { id = value($0); next }
/<([A-Z]+:)?InstdAmt / { split(value($0), part, "."); cents = part[1] * 100 + part[2]; next }
/<([A-Z]+:)?Cdtr>/ { inCreditor = 1; next }
/<\/([A-Z]+:)?Cdtr>/ { inCreditor = 0; next }
inCreditor && /<([A-Z]+:)?Nm>/ { name = value($0); next }
/<([A-Z]+:)?IBAN>/ { iban = value($0); next }
/<([A-Z]+:)?Ustrd>/ { remittance = value($0); next }
/<\/([A-Z]+:)?CdtTrfTxInf>/ { inTransfer = 0; printf "%s\t%d\t%s\t%s\t%s\n", id, cents, name, iban, remittance }
