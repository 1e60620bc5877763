-- Adds 10,000 special sales invoices of 5 lines each to the demo accounting set, for timing the export.
-- Numbers PF000001..PF010000, dates spread over 2026, customers, products and users of the demo set.
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000)
INSERT INTO ICSale (FInterID, FBillNo, FTranType, FClassTypeID, FDate, FSaleStyle, fyearperiod, FYear, FPeriod,
                    FFincDate, FPayDate, FCancellation, FCheckerID, FCheckDate, FStatus, FCustID, FDeptID, FEmpID,
                    FBillerID, FROB, FCurrencyID, FExchangeRate, FExplanation,
                    FInvoiceAmount, FInvoiceAmountFor, FUnReceiveAmountFor)
SELECT 200000 + i, 'PF' || printf('%06d', i), 80, 1000002, date('2026-01-01', '+' || (i % 365) || ' days'), 101, '',
       2026, 1, date('2026-01-01', '+' || (i % 365) || ' days'), '', 0, 16396, '', 1, 101 + (i % 8), 201 + (i % 2),
       301 + (i % 3), 16395, CASE WHEN i % 50 = 0 THEN -1 ELSE 1 END, 1, 1, '批量测试发票' || i, 0, 0, 0
  FROM n;

WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000),
     e(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM e WHERE k < 5)
INSERT INTO ICSaleEntry (FInterID, FEntryID, FItemID, FQty, FAuxQty, FUnitID, FTaxRate, FTaxAmount, FStdTaxAmount,
                         FPrice, FAuxPrice, FTaxPrice, FAuxTaxPrice, FPriceDiscount, FAuxPriceDiscount, FAmount,
                         FStdAmount, FAmountincludetax, FStdAmountincludetax, FAllAmount, FDiscountRate,
                         FAmtDiscount, FStdAmtDiscount, FNote, FBatchNo)
SELECT 200000 + i, k, 400 + k, k * 2, k * 2, 502, 13, round(k * 2 * 100.5 * 0.13, 2), round(k * 2 * 100.5 * 0.13, 2),
       100.5, 100.5, 113.57, 113.57, 0, 0, k * 2 * 100.5, k * 2 * 100.5, round(k * 2 * 100.5 * 1.13, 2),
       round(k * 2 * 100.5 * 1.13, 2), round(k * 2 * 100.5 * 1.13, 2), 0, 0, 0, '', ''
  FROM n, e;
