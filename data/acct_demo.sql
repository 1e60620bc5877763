-- Demo accounting set: a small trading company with customers, products, users
-- and the sales invoices of the first quarter of 2026.

-- Edition and company data. tbl2 of the export reads bank, bankaccount and payee.
INSERT INTO t_SystemProfile (FCategory, FKey, FValue) VALUES
    ('Base', 'Type',        'COMMERCE'),
    ('Base', 'CompanyName', '杭州明远商贸有限公司'),
    ('Base', 'TaxNumber',   '91330106MA27XK3P5D'),
    ('Base', 'Address',     '杭州市西湖区文三路259号'),
    ('Base', 'Phone',       '0571-88251234'),
    ('Base', 'Bank',        '中国建设银行杭州文三路支行'),
    ('Base', 'BankAccount', '33050161622700001234'),
    ('Base', 'Payee',       '王出纳');

-- Monthly periods 2020-01 … 2040-12.
WITH RECURSIVE m(d) AS (
    SELECT '2020-01-01'
    UNION ALL
    SELECT date(d, '+1 month') FROM m WHERE d < '2040-12-01'
)
INSERT INTO T_PeriodDate (FYear, FPeriod, FStartDate, FEndDate)
SELECT CAST(strftime('%Y', d) AS INTEGER),
       CAST(strftime('%m', d) AS INTEGER),
       d,
       date(d, '+1 month', '-1 day')
  FROM m;

-- Customers (item class 1). 109 is deleted. 108 is an institution without a bank account.
INSERT INTO t_Item (FItemID, FItemClassID, FNumber, FName, FDeleted) VALUES
    (101, 1, '01.001', '北京华远信息技术有限公司', 0),
    (102, 1, '01.002', '上海浦江电子科技有限公司', 0),
    (103, 1, '01.003', '广州南粤商贸有限公司', 0),
    (104, 1, '01.004', 'O''Brien贸易有限公司', 0),
    (105, 1, '02.001', '杭州西湖文化传媒有限公司', 0),
    (106, 1, '02.002', '苏州博创软件有限公司', 0),
    (107, 1, '02.003', '成都天府物流有限公司', 0),
    (108, 1, '03.001', '南京金陵职业培训学校', 0),
    (109, 1, '03.002', '武汉长江机电设备有限公司', 1);

INSERT INTO t_Organization (FItemID, FNumber, FName, FTaxNum, FBank, FAccount, FAddress, FPhone, FContact) VALUES
    (101, '01.001', '北京华远信息技术有限公司', '91110108MA01C7QX2R', '中国工商银行北京中关村支行', '0200004509200123456', '北京市海淀区中关村大街27号', '010-62561234', '孙经理'),
    (102, '01.002', '上海浦江电子科技有限公司', '91310115MA1K4B8N6W', '招商银行上海张江支行', '121908765410801', '上海市浦东新区张江路88号', '021-50801234', '钱小姐'),
    (103, '01.003', '广州南粤商贸有限公司', '91440106MA59D2LJ7P', '中国银行广州天河支行', '689012345678', '广州市天河区体育西路103号', '020-38881234', '黄先生'),
    (104, '01.004', 'O''Brien贸易有限公司', '91440300MA5G8T2K1X', '交通银行深圳福田支行', '443066285018010123456', '深圳市福田区深南大道6008号', '0755-83271234', 'Sean O''Brien'),
    (105, '02.001', '杭州西湖文化传媒有限公司', '91330106MA2H3R7C4E', '杭州银行西湖支行', '3301040160001234567', '杭州市西湖区北山街42号', '0571-87961234', '林主任'),
    (106, '02.002', '苏州博创软件有限公司', '91320594MA1W6E9F3G', '中国农业银行苏州园区支行', '10550101040012345', '苏州市工业园区星湖街328号', '0512-62881234', '陈工'),
    (107, '02.003', '成都天府物流有限公司', '91510100MA61T5Y8HJ', '成都银行高新支行', '1001300000123456', '成都市高新区天府大道中段1388号', '028-85331234', '杨经理'),
    (108, '03.001', '南京金陵职业培训学校', '52320102MJ5873214K', '', '', '南京市玄武区珠江路699号', '025-84561234', '周老师'),
    (109, '03.002', '武汉长江机电设备有限公司', '91420100MA4K2N6P8Q', '中国光大银行武汉分行', '38310188000123456', '武汉市江汉区解放大道688号', '027-85661234', '胡经理');

-- Suppliers (item class 8).
INSERT INTO t_Item (FItemID, FItemClassID, FNumber, FName, FDeleted) VALUES
    (801, 8, 'S01', '深圳市宏图电子有限公司', 0),
    (802, 8, 'S02', '东莞市森华纸业有限公司', 0),
    (803, 8, 'S03', '宁波文华文具制造有限公司', 0);

INSERT INTO t_Supplier (FItemID, FNumber, FName, FTaxNum, FBank, FAccount, FAddress, FPhone) VALUES
    (801, 'S01', '深圳市宏图电子有限公司', '91440300MA5D1H4L9M', '中国建设银行深圳华强支行', '44250100002312345678', '深圳市福田区华强北路1019号', '0755-83661234'),
    (802, 'S02', '东莞市森华纸业有限公司', '91441900MA4W7C3B2N', '东莞银行南城支行', '510001234567890', '东莞市南城区宏图路98号', '0769-22881234'),
    (803, 'S03', '宁波文华文具制造有限公司', '91330212MA2AG5K6R1', '宁波银行鄞州支行', '51010122000123456', '宁波市鄞州区天童南路588号', '0574-87891234');

-- Departments (class 2) and employees (class 3).
INSERT INTO t_Item (FItemID, FItemClassID, FNumber, FName, FDeleted) VALUES
    (201, 2, '01', '销售一部', 0),
    (202, 2, '02', '销售二部', 0),
    (203, 2, '03', '财务部', 0),
    (204, 2, '04', '仓储部', 0),
    (301, 3, '001', '陈晓明', 0),
    (302, 3, '002', '刘芳', 0),
    (303, 3, '003', '周强', 0),
    (304, 3, '004', '吴婷', 0),
    (305, 3, '005', '郑磊', 0);

INSERT INTO t_Department (FItemID, FNumber, FName) VALUES
    (201, '01', '销售一部'),
    (202, '02', '销售二部'),
    (203, '03', '财务部'),
    (204, '04', '仓储部');

INSERT INTO t_Emp (FItemID, FNumber, FName, FDeptID) VALUES
    (301, '001', '陈晓明', 201),
    (302, '002', '刘芳', 201),
    (303, '003', '周强', 202),
    (304, '004', '吴婷', 203),
    (305, '005', '郑磊', 204);

-- Units of measure (class 7). The name 件 exists in the quantity group (504) and in
-- the packing group (510), so the import needs a unit mapping to tell them apart.
INSERT INTO t_UnitGroup (FUnitGroupID, FName) VALUES
    (1, '数量组'),
    (2, '重量组'),
    (3, '长度组'),
    (4, '包装组');

INSERT INTO t_MeasureUnit (FMeasureUnitID, FItemID, FNumber, FName, FUnitGroupID, FCoefficient, FDeleted) VALUES
    (501, 501, '01', '个',   1, 1,    0),
    (502, 502, '02', '台',   1, 1,    0),
    (503, 503, '03', '套',   1, 1,    0),
    (504, 504, '04', '件',   1, 1,    0),
    (511, 511, '05', '打',   1, 12,   1),
    (505, 505, '11', '千克', 2, 1,    0),
    (506, 506, '12', '吨',   2, 1000, 0),
    (507, 507, '21', '米',   3, 1,    0),
    (510, 510, '31', '件',   4, 1,    0),
    (509, 509, '32', '盒',   4, 10,   0),
    (508, 508, '33', '箱',   4, 50,   0);

INSERT INTO t_Item (FItemID, FItemClassID, FNumber, FName, FDeleted)
SELECT FMeasureUnitID, 7, FNumber, FName, FDeleted FROM t_MeasureUnit ORDER BY FMeasureUnitID;

-- Products (class 4). Two 保温杯 differ only by model; 文件收纳盒 has no model;
-- 传真机 is deleted.
INSERT INTO t_IcItem (FItemID, FNumber, FShortNumber, FName, FModel, FUnitGroupID, FUnitID, FTaxRate, FSalePrice, FDeleted) VALUES
    (401, '1.01.001', '1001', '激光打印机',   'HP-M404dn',  1, 502, 13, 1850, 0),
    (402, '1.01.002', '1002', '喷墨打印机',   'EPS-L3158',  1, 502, 13, 980,  0),
    (403, '1.02.001', '1003', '笔记本电脑',   'TB-14-G6',   1, 502, 13, 4800, 0),
    (404, '1.02.002', '1004', '液晶显示器',   'P2422H',     1, 502, 13, 1250, 0),
    (405, '1.03.001', '1005', '无线键鼠套装', 'MK275',      1, 503, 13, 89,   0),
    (406, '2.01.001', '2001', 'A4复印纸',     '70g-500张',  4, 508, 13, 125,  0),
    (407, '2.01.002', '2002', '中性笔',       '0.5mm黑色',  4, 509, 13, 18,   0),
    (408, '2.02.001', '2003', '不锈钢保温杯', '500ml',      1, 501, 13, 45,   0),
    (409, '2.02.002', '2004', '不锈钢保温杯', '350ml',      1, 501, 13, 38,   0),
    (412, '2.03.001', '2005', '文件收纳盒',   '',           1, 504, 13, 26,   0),
    (413, '2.03.002', '2006', '办公用品礼盒', 'LH-2026',    4, 510, 13, 120,  0),
    (410, '3.01.001', '3001', '超六类网线',   'CAT6-UTP',   3, 507, 13, 2.5,  0),
    (411, '3.02.001', '3002', '打印机碳粉',   'TN-散装',    2, 505, 13, 85,   0),
    (414, '9.01.001', '9001', '传真机',       'FAX-L170',   1, 502, 13, 1100, 1);

INSERT INTO t_Item (FItemID, FItemClassID, FNumber, FName, FDeleted)
SELECT FItemID, 4, FNumber, FName, FDeleted FROM t_IcItem ORDER BY FItemID;

-- Users. 1..3 are system accounts (never listed); 16399 is forbidden.
-- Passwords are empty until the login sets them.
INSERT INTO t_User (FUserID, FName, FDescription, FForbidden, FPasswordHash, FSalt) VALUES
    (1,     'system',  '系统内部账户',     0, '', ''),
    (2,     'guest',   '来宾账户',         1, '', ''),
    (3,     'sync',    '数据同步服务账户', 0, '', ''),
    (16394, 'super',   '系统管理员',       0, '', ''),
    (16395, '张会计',  '开票员',           0, '', ''),
    (16396, '李复核',  '发票复核员',       0, '', ''),
    (16397, '王出纳',  '出纳（收款人）',   0, '', ''),
    (16398, '赵主管',  '销售主管',         0, '', ''),
    (16399, '孙离职',  '已离职，账户停用', 1, '', '');

-- Bill numbering: ZP000001… for special, PT000001… for ordinary invoices.
-- The running numbers continue after the demo invoices.
INSERT INTO t_billcoderule (fbilltypeid, fclassindex, fprojectid, fprojectval, flength, fdescription) VALUES
    (80, 1, 1, 'ZP', 0, '前缀'),
    (80, 2, 3, '6',  6, '流水号'),
    (86, 1, 1, 'PT', 0, '前缀'),
    (86, 2, 3, '4',  6, '流水号');

INSERT INTO ICTransType (FID, FName) VALUES
    (80, '销售增值税专用发票'),
    (86, '销售普通发票');

-- Sales invoices. 1006 is a red invoice (partial return of 1001); 1007 is not checked yet.
-- Amounts are filled from the lines below.
INSERT INTO ICSale (FInterID, FBillNo, FTranType, FClassTypeID, FDate, FSaleStyle, fyearperiod, FYear, FPeriod,
                    FFincDate, FPayDate, FCancellation, FCheckerID, FCheckDate, FStatus, FCustID, FDeptID, FEmpID,
                    FBillerID, FROB, FCurrencyID, FExchangeRate, FExplanation,
                    FInvoiceAmount, FInvoiceAmountFor, FUnReceiveAmountFor) VALUES
    (1001, 'ZP000001', 80, 1000002, '2026-01-08', 101, '', 2026, 1, '2026-01-08', '2026-02-07', 0, 16396, '2026-01-08', 1, 101, 201, 301, 16395,  1, 1, 1, '打印机及显示器', 0, 0, 0),
    (1002, 'ZP000002', 80, 1000002, '2026-01-15', 101, '', 2026, 1, '2026-01-15', '2026-02-14', 0, 16396, '2026-01-16', 1, 102, 201, 302, 16395,  1, 1, 1, '笔记本电脑批量采购', 0, 0, 0),
    (1003, 'PT000001', 86, 1000000, '2026-01-20', 101, '', 2026, 1, '2026-01-20', '2026-02-19', 0, 16396, '2026-01-20', 1, 108, 202, 303, 16395,  1, 1, 1, '办公耗材', 0, 0, 0),
    (1004, 'ZP000003', 80, 1000002, '2026-02-03', 101, '', 2026, 2, '2026-02-03', '2026-03-05', 0, 16396, '2026-02-04', 1, 104, 202, 303, 16395,  1, 1, 1, '外设及网络布线材料', 0, 0, 0),
    (1005, 'PT000002', 86, 1000000, '2026-02-10', 101, '', 2026, 2, '2026-02-10', '2026-03-12', 0, 16396, '2026-02-10', 1, 105, 201, 302, 16395,  1, 1, 1, '年会礼品及文具', 0, 0, 0),
    (1006, 'ZP000004', 80, 1000002, '2026-02-26', 101, '', 2026, 2, '2026-02-26', '2026-03-28', 0, 16396, '2026-02-26', 1, 101, 201, 301, 16395, -1, 1, 1, '退货：ZP000001激光打印机1台', 0, 0, 0),
    (1007, 'ZP000005', 80, 1000002, '2026-03-05', 101, '', 2026, 3, '2026-03-05', '2026-04-04', 0, NULL,  NULL,         0, 106, 202, 303, 16394,  1, 1, 1, '研发部电脑更新', 0, 0, 0),
    (1008, 'PT000003', 86, 1000000, '2026-03-12', 101, '', 2026, 3, '2026-03-12', '2026-04-11', 0, 16396, '2026-03-12', 1, 107, 202, 303, 16395,  1, 1, 1, '客户礼品及耗材', 0, 0, 0);

-- Invoice lines, given by product, unit, quantity and net unit price; the rest is
-- worked out as the accounting system stores it: on special invoices (80) FPrice and
-- FAmount are net, FAmountincludetax and FAllAmount gross; on ordinary invoices (86)
-- FPrice and FAmount are gross, FAmountincludetax is net and FAllAmount is 0.
WITH l (FInterID, FEntryID, FItemID, FUnitID, FQty, FNetPrice) AS (
    VALUES
    (1001, 1, 401, 502,   5, 1850),
    (1001, 2, 404, 502,  10, 1250),
    (1002, 1, 403, 502,  20, 4800),
    (1003, 1, 406, 508,  30, 125),
    (1003, 2, 407, 509,  10, 18),
    (1004, 1, 405, 503,  50, 89),
    (1004, 2, 410, 507, 300, 2.5),
    (1004, 3, 402, 502,   4, 980),
    (1005, 1, 407, 509,  20, 18),
    (1005, 2, 408, 501,  40, 45),
    (1005, 3, 409, 501,  40, 38),
    (1006, 1, 401, 502,  -1, 1850),
    (1007, 1, 403, 502,   8, 4800),
    (1007, 2, 404, 502,   8, 1250),
    (1007, 3, 405, 503,   8, 89),
    (1008, 1, 413, 510,  15, 120),
    (1008, 2, 411, 505,  12, 85)
),
n AS (
    SELECT l.*, s.FTranType, p.FTaxRate,
           round(l.FQty * l.FNetPrice, 2) AS FNet,
           round(l.FNetPrice * (1 + p.FTaxRate / 100.0), 6) AS FGrossPrice
      FROM l
      JOIN ICSale s ON s.FInterID = l.FInterID
      JOIN t_IcItem p ON p.FItemID = l.FItemID
),
t AS (
    SELECT n.*, round(FNet * FTaxRate / 100.0, 2) AS FTax FROM n
)
INSERT INTO ICSaleEntry (FInterID, FEntryID, FItemID, FQty, FAuxQty, FUnitID, FTaxRate,
                         FTaxAmount, FStdTaxAmount, FPrice, FAuxPrice, FTaxPrice, FAuxTaxPrice,
                         FPriceDiscount, FAuxPriceDiscount, FAmount, FStdAmount,
                         FAmountincludetax, FStdAmountincludetax, FAllAmount,
                         FDiscountRate, FAmtDiscount, FStdAmtDiscount, FNote, FBatchNo)
SELECT FInterID, FEntryID, FItemID, FQty, FQty, FUnitID, FTaxRate,
       FTax, FTax,
       CASE FTranType WHEN 86 THEN FGrossPrice ELSE FNetPrice END,
       CASE FTranType WHEN 86 THEN FGrossPrice ELSE FNetPrice END,
       FGrossPrice, FGrossPrice,
       FGrossPrice, FGrossPrice,
       CASE FTranType WHEN 86 THEN round(FNet + FTax, 2) ELSE FNet END,
       CASE FTranType WHEN 86 THEN round(FNet + FTax, 2) ELSE FNet END,
       CASE FTranType WHEN 86 THEN FNet ELSE round(FNet + FTax, 2) END,
       CASE FTranType WHEN 86 THEN FNet ELSE round(FNet + FTax, 2) END,
       CASE FTranType WHEN 86 THEN 0 ELSE round(FNet + FTax, 2) END,
       0, 0, 0, '', ''
  FROM t
 ORDER BY FInterID, FEntryID;

-- Invoice totals, tax included, from the lines.
UPDATE ICSale
   SET FInvoiceAmount = (SELECT round(sum(e.FTaxAmount + CASE ICSale.FTranType WHEN 86 THEN e.FAmountincludetax ELSE e.FAmount END), 2)
                           FROM ICSaleEntry e
                          WHERE e.FInterID = ICSale.FInterID);

UPDATE ICSale
   SET FInvoiceAmountFor = FInvoiceAmount,
       FUnReceiveAmountFor = FInvoiceAmount;

-- The identifier counter stands at the last demo invoice.
INSERT INTO t_ICMaxNum (FTableName, FMaxNum)
SELECT 'ICSALE', max(FInterID) FROM ICSale;
