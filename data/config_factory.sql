-- Factory contents of Taxlink.db: field catalogues, export templates, the default
-- export link, the import field rules and the head defaults of the import.

-- Fields of the sales-document import file (SJJK0101), in file order.
-- Head line: fields 1..12, detail line: fields 13..25. Fid is the display order.
INSERT INTO t_TaxField (Fid, Fname, FFieldType, FisHead) VALUES
    (1,  '单据号',         '1', 1),
    (2,  '商品行数',       '3', 1),
    (3,  '购方名称',       '1', 1),
    (4,  '购方税号',       '1', 1),
    (5,  '购方地址电话',   '1', 1),
    (6,  '购方银行帐号',   '1', 1),
    (7,  '备注',           '1', 1),
    (8,  '复核人',         '1', 1),
    (9,  '收款人',         '1', 1),
    (10, '清单行商品名称', '1', 1),
    (11, '单据日期',       '2', 1),
    (12, '销方银行账号',   '1', 1),
    (13, '货物名称',       '1', 0),
    (14, '计量单位',       '1', 0),
    (15, '规格',           '1', 0),
    (16, '数量',           '3', 0),
    (17, '不含税金额',     '3', 0),
    (18, '税率',           '3', 0),
    (19, '商品税目',       '1', 0),
    (20, '折扣金额',       '3', 0),
    (21, '税额',           '3', 0),
    (22, '折扣税额',       '3', 0),
    (23, '折扣率',         '3', 0),
    (24, '单价',           '3', 0),
    (25, '价格方式',       '3', 0);

-- The factory copy that "install default fields" restores.
INSERT INTO t_TaxDefaultField (Fid, Fname, FFieldType, FisHead)
SELECT Fid, Fname, FFieldType, FisHead FROM t_TaxField ORDER BY Fid;

-- Accounting-side fields. FFieldName is an output column of template tbl1 or tbl2.
-- FID 1 must stay the invoice number: every link maps it and the export groups by it.
-- Frows is filled by the export with the number of lines of the invoice.
INSERT INTO t_QorField (FID, FFieldName, FFieldType, FFieldDesc, FisHead, forder) VALUES
    ('1',  'FbillNo',        '1', '单据号',         1, 1),
    ('2',  'Frows',          '3', '商品行数',       1, 2),
    ('3',  'FCustName',      '1', '购方名称',       1, 3),
    ('4',  'FCustTaxNum',    '1', '购方税号',       1, 4),
    ('5',  'FCustAddrTel',   '1', '购方地址电话',   1, 5),
    ('6',  'FCustBank',      '1', '购方银行帐号',   1, 6),
    ('7',  'fmemo',          '1', '备注',           1, 7),
    ('8',  'FCheckerName',   '1', '复核人',         1, 8),
    ('9',  'FPayeeName',     '1', '收款人',         1, 9),
    ('10', 'FListName',      '1', '清单行商品名称', 1, 10),
    ('11', 'FBillDate',      '2', '单据日期',       1, 11),
    ('12', 'FSellerBank',    '1', '销方银行账号',   1, 12),
    ('13', 'FBillerName',    '1', '开票人',         1, 13),
    ('14', 'FDeptName',      '1', '部门',           1, 14),
    ('15', 'FEmpName',       '1', '业务员',         1, 15),
    ('16', 'FCustNumber',    '1', '客户代码',       1, 16),
    ('17', 'FExplanation',   '1', '摘要',           1, 17),
    ('18', 'FBillAmount',    '3', '发票价税合计',   1, 18),
    ('21', 'FItemName',      '1', '货物名称',       0, 21),
    ('22', 'FUnitName',      '1', '计量单位',       0, 22),
    ('23', 'FItemModel',     '1', '规格型号',       0, 23),
    ('24', 'FQty',           '3', '数量',           0, 24),
    ('25', 'FAmountNoTax',   '3', '不含税金额',     0, 25),
    ('26', 'FTaxRateFrac',   '3', '税率',           0, 26),
    ('27', 'FTaxItem',       '1', '商品税目',       0, 27),
    ('28', 'FDiscAmount',    '3', '折扣金额',       0, 28),
    ('29', 'FTaxAmt',        '3', '税额',           0, 29),
    ('30', 'FDiscTax',       '3', '折扣税额',       0, 30),
    ('31', 'FDiscRate',      '3', '折扣率',         0, 31),
    ('32', 'FUnitPrice',     '3', '单价',           0, 32),
    ('33', 'FPriceMode',     '3', '价格方式',       0, 33),
    ('34', 'FTaxInclPrice',  '3', '含税单价',       0, 34),
    ('35', 'FAmountWithTax', '3', '价税合计',       0, 35),
    ('36', 'FTaxRatePct',    '3', '税率百分数',     0, 36),
    ('37', 'FItemNumber',    '1', '商品代码',       0, 37),
    ('38', 'FEntryNote',     '1', '行备注',         0, 38);

-- Export template tbl1: one row per invoice line with its head data.
-- Aliases t1, t4, t5, t6, t9, t10, t11 are what the filter conditions name. The
-- WHERE must stay the last clause (the export appends " and t9.FID=80" or "=86")
-- and nothing before it may contain the word where (the formula check cuts there).
-- Ordinary invoices (86) keep tax-inclusive FPrice/FAmount and the net amount in
-- FAmountincludetax, hence the CASEs: the file always gets net price and amount.
-- Written in SQL that SQLite and PostgreSQL share: round() is given a numeric, as
-- PostgreSQL has no round() of a float to n places. FEntryID orders the lines of an
-- invoice after FbillNo, so that every server writes them in the same order.
INSERT INTO t_OtherInfo (Fkey, FSQL) VALUES ('tbl1',
'select t1.FBillNo as FbillNo,
       t1.FDate as FBillDate,
       t5.FNumber as FCustNumber,
       t5.FName as FCustName,
       t5.FTaxNum as FCustTaxNum,
       trim(coalesce(t5.FAddress,'''') || '' '' || coalesce(t5.FPhone,'''')) as FCustAddrTel,
       trim(coalesce(t5.FBank,'''') || '' '' || coalesce(t5.FAccount,'''')) as FCustBank,
       '''' as fmemo,
       t11.FName as FCheckerName,
       '''' as FListName,
       t10.FName as FBillerName,
       t4.FName as FDeptName,
       t6.FName as FEmpName,
       t1.FExplanation as FExplanation,
       t1.FInvoiceAmount as FBillAmount,
       t3.FNumber as FItemNumber,
       t3.FName as FItemName,
       t7.FName as FUnitName,
       t3.FModel as FItemModel,
       t2.FQty as FQty,
       case t1.FTranType when 86 then t2.FAmountincludetax else t2.FAmount end as FAmountNoTax,
       t2.FTaxRate/100.0 as FTaxRateFrac,
       t2.FTaxRate as FTaxRatePct,
       '''' as FTaxItem,
       round(cast(coalesce(t2.FAmtDiscount,0)*100/(100+t2.FTaxRate) as numeric(38,12)),2) as FDiscAmount,
       t2.FTaxAmount as FTaxAmt,
       round(cast(coalesce(t2.FAmtDiscount,0)*t2.FTaxRate/(100+t2.FTaxRate) as numeric(38,12)),2) as FDiscTax,
       coalesce(t2.FDiscountRate,0) as FDiscRate,
       case t1.FTranType when 86 then round(cast(t2.FPrice*100/(100+t2.FTaxRate) as numeric(38,12)),6) else t2.FPrice end as FUnitPrice,
       0 as FPriceMode,
       t2.FTaxPrice as FTaxInclPrice,
       case t1.FTranType when 86 then t2.FAmount else t2.FAmountincludetax end as FAmountWithTax,
       t2.FNote as FEntryNote,
       t2.FEntryID as FEntryID
  from ICSale t1
  join ICSaleEntry t2 on t2.FInterID=t1.FInterID
  join ICTransType t9 on t9.FID=t1.FTranType
  left join t_IcItem t3 on t3.FItemID=t2.FItemID
  left join t_MeasureUnit t7 on t7.FMeasureUnitID=t2.FUnitID
  left join t_Department t4 on t4.FItemID=t1.FDeptID
  left join t_Organization t5 on t5.FItemID=t1.FCustID
  left join t_Emp t6 on t6.FItemID=t1.FEmpID
  left join t_User t10 on t10.FUserID=t1.FBillerID
  left join t_User t11 on t11.FUserID=t1.FCheckerID
 where {filter0} and {filter1} and {filter2} and {filter3} and {filter4} and {filter5} and {filter6} and {filter7} and {filter8} and {filter9} and {filter10} and {filter11} and {filter12} and {filter13}');

-- Export template tbl2: the seller data, joined to every row of tbl1 without a
-- condition, so it must yield exactly one row; an aggregate without GROUP BY does,
-- even when the profile rows are missing. Frows is a placeholder column that the
-- export fills with the line count of the invoice.
INSERT INTO t_OtherInfo (Fkey, FSQL) VALUES ('tbl2',
'select trim(coalesce(max(case when lower(FKey)=''bank'' then FValue end),'''') || '' '' ||
            coalesce(max(case when lower(FKey)=''bankaccount'' then FValue end),'''')) as FSellerBank,
       coalesce(max(case when lower(FKey)=''payee'' then FValue end),'''') as FPayeeName,
       0 as Frows
  from t_SystemProfile
 where lower(FCategory)=''base''');

-- The column of ICSale that the import writes an exported invoice's tax invoice into (代码-号码; the numbers
-- of the pieces of an invoice joined by ","); empty: none. A set without the column gets nothing.
INSERT INTO t_OtherInfo (Fkey, FSQL) VALUES ('WriteBackColumn', 'FTaxInvoiceNo');

-- The default export link: special VAT invoices, separator ~~.
INSERT INTO t_BaseInfo (FID, FName, FInvioceType, FSeperator, FMemo, FDate, FInOrOut) VALUES
    (1, '航天金税默认格式', 0, '~~', '增值税专用发票按航天金税销售单据传入格式引出，全部字段按默认对应', '2026-01-01', '0');

-- Factory mappings of the default link: every tax field in Fid order, head rows
-- first; FQORField holds the t_QorField.FID.
INSERT INTO t_DefaultDetail (FID, FBaseInfoID, FTaxID, FisFormula, FQORField, FisHead) VALUES
    (1,  1, 1,  0, '1',  1),
    (2,  1, 2,  0, '2',  1),
    (3,  1, 3,  0, '3',  1),
    (4,  1, 4,  0, '4',  1),
    (5,  1, 5,  0, '5',  1),
    (6,  1, 6,  0, '6',  1),
    (7,  1, 7,  0, '7',  1),
    (8,  1, 8,  0, '8',  1),
    (9,  1, 9,  0, '9',  1),
    (10, 1, 10, 0, '10', 1),
    (11, 1, 11, 0, '11', 1),
    (12, 1, 12, 0, '12', 1),
    (13, 1, 13, 0, '21', 0),
    (14, 1, 14, 0, '22', 0),
    (15, 1, 15, 0, '23', 0),
    (16, 1, 16, 0, '24', 0),
    (17, 1, 17, 0, '25', 0),
    (18, 1, 18, 0, '26', 0),
    (19, 1, 19, 0, '27', 0),
    (20, 1, 20, 0, '28', 0),
    (21, 1, 21, 0, '29', 0),
    (22, 1, 22, 0, '30', 0),
    (23, 1, 23, 0, '31', 0),
    (24, 1, 24, 0, '32', 0),
    (25, 1, 25, 0, '33', 0);

-- A fresh install exports with link 1 straight away.
INSERT INTO t_Detail (FID, FBaseInfoID, FTaxID, FisFormula, FQORField, FisHead)
SELECT FID, FBaseInfoID, FTaxID, FisFormula, FQORField, FisHead FROM t_DefaultDetail ORDER BY FID;

-- Fields of the issued-invoice file (SJJK0201), in line order, as the tax software writes them. Some
-- head fields carry the names the import reads them by: 类别代码 is the 发票代码, 作废标识 the 作废标志,
-- 商品明细行数 the 商品行数, 不含税金额 and 税额 the 合计金额 and 合计税额. The import reads detail
-- fields 1, 2, 5, 6, 7, 9 and 10 by position, so those must not move.
INSERT INTO t_ImportField (FFieldDesc, FisHead, Forder, FisNeedValid, FValidType, FValidValue) VALUES
    ('作废标识',     1, 1,  1, '2', '0,1'),
    ('清单标志',     1, 2,  0, '0', ''),
    ('发票种类',     1, 3,  1, '2', '0,2'),
    ('类别代码',     1, 4,  0, '0', ''),
    ('发票号码',     1, 5,  0, '0', ''),
    ('商品明细行数', 1, 6,  0, '0', ''),
    ('开票日期',     1, 7,  0, '0', ''),
    ('月份',         1, 8,  0, '0', ''),
    ('销售单据编号', 1, 9,  0, '0', ''),
    ('不含税金额',   1, 10, 0, '0', ''),
    ('税率',         1, 11, 0, '0', ''),
    ('税额',         1, 12, 0, '0', ''),
    ('购方名称',     1, 13, 0, '0', ''),
    ('购方税号',     1, 14, 0, '0', ''),
    ('购方地址电话', 1, 15, 0, '0', ''),
    ('购方银行帐号', 1, 16, 0, '0', ''),
    ('销方名称',     1, 17, 0, '0', ''),
    ('销方税号',     1, 18, 0, '0', ''),
    ('销方地址电话', 1, 19, 0, '0', ''),
    ('销方银行账号', 1, 20, 0, '0', ''),
    ('备注',         1, 21, 0, '0', ''),
    ('开票人',       1, 22, 0, '0', ''),
    ('复核人',       1, 23, 0, '0', ''),
    ('收款人',       1, 24, 0, '0', ''),
    ('明细行性质',   0, 1,  0, '0', ''),
    ('货物名称',     0, 2,  0, '0', ''),
    ('规格型号',     0, 3,  0, '0', ''),
    ('计量单位',     0, 4,  0, '0', ''),
    ('数量',         0, 5,  0, '0', ''),
    ('金额',         0, 6,  0, '0', ''),
    ('税率',         0, 7,  0, '0', ''),
    ('税额',         0, 8,  0, '0', ''),
    ('单价',         0, 9,  0, '0', ''),
    ('单价价格方式', 0, 10, 1, '2', '0,1'),
    ('商品税目',     0, 11, 0, '0', '');

-- ICSale columns that the import does not set itself. Keys the import writes
-- (FStatus for a checked invoice, for example) override these.
INSERT INTO t_qorDefault (FisHead, FFieldName, FDefault) VALUES
    (1, 'FCurrencyID',   '1'),
    (1, 'FExchangeRate', '1'),
    (1, 'FROB',          '1'),
    (1, 'FStatus',       '0'),
    (1, 'FExplanation',  '航天金税已开发票引入');
