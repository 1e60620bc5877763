#pragma once
// A month of invoices on the platform's list, made up the same way each time: the reader's tests and the
// measurement of its memory use the same ones.

#include "batch/Bench.h"

// Invoice i (from 0): every tenth red with the blue one it flushes in its 备注, every seventh cancelled,
// buyers from a few hundred, an amount that differs from its neighbours'.
QList<Bench::ListInvoice> monthInvoices(int count);
Bench::ListSeller monthSeller();
// Its 数电发票号码.
QString monthNumber(int i);
