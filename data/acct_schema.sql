-- Demo accounting set: the part of the QOR accounting database that Taxferry reads
-- and writes (base data, users, numbering, periods, sales invoices).
-- Whole numbers and identifiers are INTEGER, money and quantities REAL, yes/no
-- columns BOOLEAN holding 1/0, dates TEXT as yyyy-mm-dd.
-- Codes and names compare without regard to case (COLLATE NOCASE), as they do on
-- the accounting product's own database server.

-- Accounting periods. The import takes the period of the current day from here.
CREATE TABLE T_PeriodDate (
    FYear      INTEGER,
    FPeriod    INTEGER,
    FStartDate TEXT,
    FEndDate   TEXT,
    PRIMARY KEY (FYear, FPeriod)
);

-- System profile: edition type (Base/Type), company name and the company data
-- that the export template tbl2 delivers (bank, account, payee).
CREATE TABLE t_SystemProfile (
    FCategory TEXT COLLATE NOCASE,
    FKey      TEXT COLLATE NOCASE,
    FValue    TEXT,
    PRIMARY KEY (FCategory, FKey)
);

-- Every base-data record has an item row. FItemClassID: 1 customer, 2 department,
-- 3 employee, 4 product, 7 unit of measure, 8 supplier.
CREATE TABLE t_Item (
    FItemID      INTEGER PRIMARY KEY,
    FItemClassID INTEGER,
    FNumber      TEXT COLLATE NOCASE,
    FName        TEXT COLLATE NOCASE,
    FDeleted     BOOLEAN DEFAULT 0
);

-- Customers; FItemID is the t_Item row of class 1.
CREATE TABLE t_Organization (
    FItemID  INTEGER PRIMARY KEY,
    FNumber  TEXT COLLATE NOCASE,
    FName    TEXT COLLATE NOCASE,
    FTaxNum  TEXT,
    FBank    TEXT,
    FAccount TEXT,
    FAddress TEXT,
    FPhone   TEXT,
    FContact TEXT
);

-- Suppliers; FItemID is the t_Item row of class 8.
CREATE TABLE t_Supplier (
    FItemID  INTEGER PRIMARY KEY,
    FNumber  TEXT COLLATE NOCASE,
    FName    TEXT COLLATE NOCASE,
    FTaxNum  TEXT,
    FBank    TEXT,
    FAccount TEXT,
    FAddress TEXT,
    FPhone   TEXT
);

CREATE TABLE t_Department (
    FItemID INTEGER PRIMARY KEY,
    FNumber TEXT COLLATE NOCASE,
    FName   TEXT COLLATE NOCASE
);

-- Employees, among them the salespersons of the invoices.
CREATE TABLE t_Emp (
    FItemID INTEGER PRIMARY KEY,
    FNumber TEXT COLLATE NOCASE,
    FName   TEXT COLLATE NOCASE,
    FDeptID INTEGER
);

CREATE TABLE t_UnitGroup (
    FUnitGroupID INTEGER PRIMARY KEY,
    FName        TEXT
);

-- Units of measure. FItemID carries the same value as FMeasureUnitID.
-- A unit name may repeat in different unit groups.
CREATE TABLE t_MeasureUnit (
    FMeasureUnitID INTEGER PRIMARY KEY,
    FItemID        INTEGER,
    FNumber        TEXT COLLATE NOCASE,
    FName          TEXT COLLATE NOCASE,
    FUnitGroupID   INTEGER,
    FCoefficient   REAL,
    FDeleted       BOOLEAN DEFAULT 0
);

-- Products. FTaxRate in percent (13 = 13 %). The import finds a product by name
-- within the unit group of the resolved unit, narrowed by FModel.
CREATE TABLE t_IcItem (
    FItemID      INTEGER PRIMARY KEY,
    FNumber      TEXT COLLATE NOCASE,
    FShortNumber TEXT COLLATE NOCASE,
    FName        TEXT COLLATE NOCASE,
    FModel       TEXT COLLATE NOCASE,
    FUnitGroupID INTEGER,
    FUnitID      INTEGER,
    FTaxRate     REAL,
    FSalePrice   REAL,
    FDeleted     BOOLEAN DEFAULT 0
);

-- Users. Identifiers up to 16383 belong to the system and are never listed.
-- An empty FPasswordHash means the user has no password yet.
CREATE TABLE t_User (
    FUserID       INTEGER PRIMARY KEY,
    FName         TEXT COLLATE NOCASE,
    FDescription  TEXT,
    FForbidden    BOOLEAN DEFAULT 0,
    FPasswordHash TEXT DEFAULT '',
    FSalt         TEXT DEFAULT ''
);

-- Bill numbering rules, one set of rows per bill type. fprojectid: 1 fixed prefix
-- (fprojectval is the text), 3 running number (fprojectval is the next number,
-- flength its digits). Rows are read in table order, so the prefix row comes first.
CREATE TABLE t_billcoderule (
    fbilltypeid  INTEGER,
    fclassindex  INTEGER,
    fprojectid   INTEGER,
    fprojectval  TEXT,
    flength      INTEGER,
    fdescription TEXT
);

-- Identifier counter per table; stands in for the stored procedure GetICMaxNum.
-- FMaxNum is the last identifier handed out.
CREATE TABLE t_ICMaxNum (
    FTableName TEXT PRIMARY KEY,
    FMaxNum    INTEGER
);

-- Transaction types: 80 sales special VAT invoice, 86 sales ordinary invoice.
CREATE TABLE ICTransType (
    FID   INTEGER PRIMARY KEY,
    FName TEXT
);

-- Sales invoice head. FROB 1 blue, -1 red (negative) invoice. FStatus 1 = checked.
-- FClassTypeID 1000002 special, 1000000 ordinary. Amounts include tax.
CREATE TABLE ICSale (
    FInterID            INTEGER PRIMARY KEY,
    FBillNo             TEXT COLLATE NOCASE,
    FTranType           INTEGER,
    FClassTypeID        INTEGER,
    FDate               TEXT,
    FSaleStyle          INTEGER,
    fyearperiod         TEXT,
    FYear               INTEGER,
    FPeriod             INTEGER,
    FFincDate           TEXT,
    FPayDate            TEXT,
    FCancellation       BOOLEAN DEFAULT 0,
    FCheckerID          INTEGER,
    FCheckDate          TEXT,
    FStatus             INTEGER DEFAULT 0,
    FCustID             INTEGER,
    FDeptID             INTEGER,
    FEmpID              INTEGER,
    FBillerID           INTEGER,
    FROB                INTEGER DEFAULT 1,
    FCurrencyID         INTEGER DEFAULT 1,
    FExchangeRate       REAL DEFAULT 1,
    FExplanation        TEXT,
    FInvoiceAmount      REAL,
    FInvoiceAmountFor   REAL,
    FUnReceiveAmountFor REAL,
    -- The tax invoice written back by the import (代码-号码; pieces joined by ",").
    FTaxInvoiceNo       VARCHAR(255)
);

-- Numbers carry their type prefix (ZP special, PT ordinary), so they are unique
-- across both types.
CREATE UNIQUE INDEX ux_ICSale_BillNo ON ICSale (FBillNo);

CREATE INDEX ix_ICSale_Date ON ICSale (FDate);

-- Sales invoice lines. FTaxRate in percent. As the accounting system keeps them:
-- on a special invoice (80) FPrice and FAmount exclude tax and FAmountincludetax /
-- FAllAmount include it; on an ordinary invoice (86) FPrice and FAmount include tax,
-- FAmountincludetax holds the amount without tax and FAllAmount is 0.
CREATE TABLE ICSaleEntry (
    FInterID             INTEGER,
    FEntryID             INTEGER,
    FItemID              INTEGER,
    FQty                 REAL,
    FAuxQty              REAL,
    FUnitID              INTEGER,
    FTaxRate             REAL,
    FTaxAmount           REAL,
    FStdTaxAmount        REAL,
    FPrice               REAL,
    FAuxPrice            REAL,
    FTaxPrice            REAL,
    FAuxTaxPrice         REAL,
    FPriceDiscount       REAL,
    FAuxPriceDiscount    REAL,
    FAmount              REAL,
    FStdAmount           REAL,
    FAmountincludetax    REAL,
    FStdAmountincludetax REAL,
    FAllAmount           REAL,
    FDiscountRate        REAL DEFAULT 0,
    FAmtDiscount         REAL DEFAULT 0,
    FStdAmtDiscount      REAL DEFAULT 0,
    FNote                TEXT,
    FBatchNo             TEXT,
    PRIMARY KEY (FInterID, FEntryID)
);

-- Customer lists of the two editions (industry: vwClientForBase, commerce: VW_COM_Customer).
CREATE VIEW vwClientForBase AS
SELECT o.FItemID   AS FItemID,
       i.FNumber   AS FClientNumber,
       o.FName     AS FName,
       o.FTaxNum   AS FTaxNum,
       o.FBank     AS FBank,
       o.FAddress  AS FAddress,
       i.FDeleted  AS FDeleted
  FROM t_Organization o
  JOIN t_Item i ON i.FItemID = o.FItemID AND i.FItemClassID = 1;

CREATE VIEW VW_COM_Customer AS
SELECT o.FItemID   AS FItemID,
       i.FNumber   AS FClientNumber,
       o.FName     AS FName,
       o.FTaxNum   AS FTaxNum,
       o.FBank     AS FBank,
       o.FAddress  AS FAddress,
       i.FDeleted  AS FDeleted
  FROM t_Organization o
  JOIN t_Item i ON i.FItemID = o.FItemID AND i.FItemClassID = 1;

-- Supplier lists. The picker query has no deletion filter, so the views drop
-- deleted suppliers themselves.
CREATE VIEW vwSupplyForBase AS
SELECT s.FItemID  AS FItemID,
       s.FNumber  AS FNumber,
       s.FName    AS FName,
       s.FTaxNum  AS FTaxNum,
       s.FBank    AS FBank,
       s.FAddress AS FAddress
  FROM t_Supplier s
  LEFT JOIN t_Item i ON i.FItemID = s.FItemID
 WHERE COALESCE(i.FDeleted, 0) <> 1;

CREATE VIEW VW_COM_Supplier AS
SELECT s.FItemID  AS FSupplierID,
       s.FNumber  AS FSupplierNumber,
       s.FName    AS FSupplierName,
       s.FTaxNum  AS FTaxNum,
       s.FBank    AS FBank,
       s.FAddress AS FAddress
  FROM t_Supplier s
  LEFT JOIN t_Item i ON i.FItemID = s.FItemID
 WHERE COALESCE(i.FDeleted, 0) <> 1;

-- Product lists of the two editions.
CREATE VIEW vwICItemForBase AS
SELECT p.FItemID      AS FItemID,
       p.FNumber      AS FNumber,
       p.FShortNumber AS FShortNumber,
       p.FName        AS FName,
       p.FModel       AS FModel,
       p.FUnitGroupID AS FUnitGroupID,
       p.FUnitID      AS FUnitID,
       u.FName        AS FUnitName,
       p.FTaxRate     AS FTaxRate,
       p.FDeleted     AS FDeleted
  FROM t_IcItem p
  LEFT JOIN t_MeasureUnit u ON u.FMeasureUnitID = p.FUnitID;

CREATE VIEW VW_COM_Item_ALL AS
SELECT p.FItemID      AS FItemID,
       p.FNumber      AS FNumber,
       p.FShortNumber AS FShortNumber,
       p.FName        AS FName,
       p.FModel       AS FModel,
       p.FUnitGroupID AS FUnitGroupID,
       p.FUnitID      AS FUnitID,
       u.FName        AS FUnitName,
       p.FTaxRate     AS FTaxRate,
       p.FDeleted     AS FDeleted
  FROM t_IcItem p
  LEFT JOIN t_MeasureUnit u ON u.FMeasureUnitID = p.FUnitID;
