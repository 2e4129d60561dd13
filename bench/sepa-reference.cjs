// The reference for the SEPA benchmark: the same transfers as bench/sepa-transfers
// (read from the file it writes with its third argument), built with the npm
// package "sepa" (3.x) as one pain.001.001.09 document.
//
//   node bench/sepa-reference.cjs <transfers.tsv> [<node_modules folder>]
//
// Prints the seconds of building the document and turning it into text (the
// reading of the file is not counted), the processor time of it (all threads),
// the size of the text and the process's peak resident memory.
'use strict';
const fs = require('fs');
const path = require('path');

const [tsv, modules] = process.argv.slice(2);
const SEPA = require(modules ? path.resolve(modules, 'sepa') : 'sepa');
const rows = fs.readFileSync(tsv, 'utf8').split('\n').filter((line) => line.length > 0)
  .map((line) => line.split('\t'));

const start = process.hrtime.bigint();
const cpuStart = process.cpuUsage();
const doc = new SEPA.Document('pain.001.001.09');
doc.grpHdr.id = 'PZT-20261207-093000';
doc.grpHdr.created = new Date('2026-12-07T09:30:00');
doc.grpHdr.initiatorName = 'Comune di Villanova';
const info = doc.createPaymentInfo();
info.id = 'PZT-20261207-093000-1';
info.requestedExecutionDate = new Date('2026-12-10');
info.debtorIBAN = 'IT60X0542811101000000123456';
info.debtorName = 'Comune di Villanova';
doc.addPaymentInfo(info);
for (const [endToEndId, cents, name, iban, remittance] of rows) {
  const tx = info.createTransaction();
  tx.creditorName = name;
  tx.creditorIBAN = iban;
  tx.amount = Number(cents) / 100;
  tx.remittanceInfo = remittance;
  tx.end2endId = endToEndId;
  info.addTransaction(tx);
}
const xml = doc.toString();
const seconds = Number(process.hrtime.bigint() - start) / 1e9;
const cpu = process.cpuUsage(cpuStart);
console.log(`total    ${seconds.toFixed(4)}`);
console.log(`cpu      ${((cpu.user + cpu.system) / 1e6).toFixed(4)}`);
console.log(`bytes    ${Buffer.byteLength(xml)}`);
console.log(`peak     ${Math.round(process.resourceUsage().maxRSS / 1024)} MB`);
