-- Demo accounting set on PostgreSQL: the part of the QOR accounting database that
-- Taxferry reads and writes (base data, users, numbering, periods, sales invoices).
-- Same tables, columns and order as acct_schema.sql (the SQLite build).
-- Whole numbers and identifiers are integer, money and quantities double precision
-- (real would be 4 bytes here), yes/no columns boolean, dates date.
-- Codes and names compare without regard to case (COLLATE nocase), as they do on
-- the accounting product's own database server.
-- Statements are kept free of dollar quoting: the program's script runner splits on
-- semicolons outside quotes and comments and knows nothing of $$.

-- Case-insensitive comparison. Level 2 ignores case (and the width of full-width
-- letters) but keeps accents. Such a collation cannot serve LIKE, ILIKE, regular
-- expressions or position()/strpos() on PostgreSQL 15; =, <, ORDER BY, GROUP BY,
-- DISTINCT and unique indexes work.
CREATE COLLATION IF NOT EXISTS nocase (provider = icu, locale = 'und-u-ks-level2', deterministic = false);

-- Accounting periods. The import takes the period of the current day from here.
-- Unique rather than a primary key: as in the SQLite build, an empty period may be
-- stored (it counts as period 1).
CREATE TABLE T_PeriodDate (
    FYear      integer,
    FPeriod    integer,
    FStartDate date,
    FEndDate   date,
    UNIQUE (FYear, FPeriod)
);

-- System profile: edition type (Base/Type), company name and the company data
-- that the export template tbl2 delivers (bank, account, payee).
CREATE TABLE t_SystemProfile (
    FCategory text COLLATE nocase,
    FKey      text COLLATE nocase,
    FValue    text,
    PRIMARY KEY (FCategory, FKey)
);

-- Every base-data record has an item row. FItemClassID: 1 customer, 2 department,
-- 3 employee, 4 product, 7 unit of measure, 8 supplier.
CREATE TABLE t_Item (
    FItemID      integer PRIMARY KEY,
    FItemClassID integer,
    FNumber      text COLLATE nocase,
    FName        text COLLATE nocase,
    FDeleted     boolean DEFAULT false
);

-- Customers; FItemID is the t_Item row of class 1.
CREATE TABLE t_Organization (
    FItemID  integer PRIMARY KEY,
    FNumber  text COLLATE nocase,
    FName    text COLLATE nocase,
    FTaxNum  text,
    FBank    text,
    FAccount text,
    FAddress text,
    FPhone   text,
    FContact text
);

-- Suppliers; FItemID is the t_Item row of class 8.
CREATE TABLE t_Supplier (
    FItemID  integer PRIMARY KEY,
    FNumber  text COLLATE nocase,
    FName    text COLLATE nocase,
    FTaxNum  text,
    FBank    text,
    FAccount text,
    FAddress text,
    FPhone   text
);

CREATE TABLE t_Department (
    FItemID integer PRIMARY KEY,
    FNumber text COLLATE nocase,
    FName   text COLLATE nocase
);

-- Employees, among them the salespersons of the invoices.
CREATE TABLE t_Emp (
    FItemID integer PRIMARY KEY,
    FNumber text COLLATE nocase,
    FName   text COLLATE nocase,
    FDeptID integer
);

CREATE TABLE t_UnitGroup (
    FUnitGroupID integer PRIMARY KEY,
    FName        text
);

-- Units of measure. FItemID carries the same value as FMeasureUnitID.
-- A unit name may repeat in different unit groups.
CREATE TABLE t_MeasureUnit (
    FMeasureUnitID integer PRIMARY KEY,
    FItemID        integer,
    FNumber        text COLLATE nocase,
    FName          text COLLATE nocase,
    FUnitGroupID   integer,
    FCoefficient   double precision,
    FDeleted       boolean DEFAULT false
);

-- Products. FTaxRate in percent (13 = 13 %). The import finds a product by name
-- within the unit group of the resolved unit, narrowed by FModel.
CREATE TABLE t_IcItem (
    FItemID      integer PRIMARY KEY,
    FNumber      text COLLATE nocase,
    FShortNumber text COLLATE nocase,
    FName        text COLLATE nocase,
    FModel       text COLLATE nocase,
    FUnitGroupID integer,
    FUnitID      integer,
    FTaxRate     double precision,
    FSalePrice   double precision,
    FDeleted     boolean DEFAULT false
);

-- Users. Identifiers up to 16383 belong to the system and are never listed.
-- An empty FPasswordHash means the user has no password yet.
CREATE TABLE t_User (
    FUserID       integer PRIMARY KEY,
    FName         text COLLATE nocase,
    FDescription  text,
    FForbidden    boolean DEFAULT false,
    FPasswordHash text DEFAULT '',
    FSalt         text DEFAULT ''
);

-- Bill numbering rules, one set of rows per bill type. fprojectid: 1 fixed prefix
-- (fprojectval is the text), 3 running number (fprojectval is the next number,
-- flength its digits). Rows are read in table order, so the prefix row comes first.
CREATE TABLE t_billcoderule (
    fbilltypeid  integer,
    fclassindex  integer,
    fprojectid   integer,
    fprojectval  text,
    flength      integer,
    fdescription text
);

-- Identifier counter per table, advanced by GetICMaxNum below.
-- FMaxNum is the last identifier handed out.
CREATE TABLE t_ICMaxNum (
    FTableName text PRIMARY KEY,
    FMaxNum    integer
);

-- Transaction types: 80 sales special VAT invoice, 86 sales ordinary invoice.
CREATE TABLE ICTransType (
    FID   integer PRIMARY KEY,
    FName text
);

-- Sales invoice head. FROB 1 blue, -1 red (negative) invoice. FStatus 1 = checked.
-- FClassTypeID 1000002 special, 1000000 ordinary. Amounts include tax.
CREATE TABLE ICSale (
    FInterID            integer PRIMARY KEY,
    FBillNo             text COLLATE nocase,
    FTranType           integer,
    FClassTypeID        integer,
    FDate               date,
    FSaleStyle          integer,
    fyearperiod         text,
    FYear               integer,
    FPeriod             integer,
    FFincDate           date,
    FPayDate            date,
    FCancellation       boolean DEFAULT false,
    FCheckerID          integer,
    FCheckDate          date,
    FStatus             integer DEFAULT 0,
    FCustID             integer,
    FDeptID             integer,
    FEmpID              integer,
    FBillerID           integer,
    FROB                integer DEFAULT 1,
    FCurrencyID         integer DEFAULT 1,
    FExchangeRate       double precision DEFAULT 1,
    FExplanation        text,
    FInvoiceAmount      double precision,
    FInvoiceAmountFor   double precision,
    FUnReceiveAmountFor double precision,
    -- The tax invoice written back by the import (代码-号码; pieces joined by ",").
    FTaxInvoiceNo       varchar(255)
);

-- Numbers carry their type prefix (ZP special, PT ordinary), so they are unique
-- across both types. Through the collation, zp000001 and ZP000001 are one number.
CREATE UNIQUE INDEX ux_ICSale_BillNo ON ICSale (FBillNo);

CREATE INDEX ix_ICSale_Date ON ICSale (FDate);

-- Sales invoice lines. FTaxRate in percent. As the accounting system keeps them:
-- on a special invoice (80) FPrice and FAmount exclude tax and FAmountincludetax /
-- FAllAmount include it; on an ordinary invoice (86) FPrice and FAmount include tax,
-- FAmountincludetax holds the amount without tax and FAllAmount is 0.
CREATE TABLE ICSaleEntry (
    FInterID             integer,
    FEntryID             integer,
    FItemID              integer,
    FQty                 double precision,
    FAuxQty              double precision,
    FUnitID              integer,
    FTaxRate             double precision,
    FTaxAmount           double precision,
    FStdTaxAmount        double precision,
    FPrice               double precision,
    FAuxPrice            double precision,
    FTaxPrice            double precision,
    FAuxTaxPrice         double precision,
    FPriceDiscount       double precision,
    FAuxPriceDiscount    double precision,
    FAmount              double precision,
    FStdAmount           double precision,
    FAmountincludetax    double precision,
    FStdAmountincludetax double precision,
    FAllAmount           double precision,
    FDiscountRate        double precision DEFAULT 0,
    FAmtDiscount         double precision DEFAULT 0,
    FStdAmtDiscount      double precision DEFAULT 0,
    FNote                text,
    FBatchNo             text,
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
-- deleted suppliers themselves; a supplier without an item row counts as kept.
CREATE VIEW vwSupplyForBase AS
SELECT s.FItemID  AS FItemID,
       s.FNumber  AS FNumber,
       s.FName    AS FName,
       s.FTaxNum  AS FTaxNum,
       s.FBank    AS FBank,
       s.FAddress AS FAddress
  FROM t_Supplier s
  LEFT JOIN t_Item i ON i.FItemID = s.FItemID
 WHERE COALESCE(i.FDeleted, false) = false;

CREATE VIEW VW_COM_Supplier AS
SELECT s.FItemID  AS FSupplierID,
       s.FNumber  AS FSupplierNumber,
       s.FName    AS FSupplierName,
       s.FTaxNum  AS FTaxNum,
       s.FBank    AS FBank,
       s.FAddress AS FAddress
  FROM t_Supplier s
  LEFT JOIN t_Item i ON i.FItemID = s.FItemID
 WHERE COALESCE(i.FDeleted, false) = false;

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

-- The accounting database's identifier routine: the next internal identifier of a
-- table. One function serves both callers: natively "select GetICMaxNum('ICSALE')"
-- returns it, through psqlODBC "{CALL GetICMaxNum(?, ?)}" hands it back in the
-- output parameter.
-- The table name is matched without regard to case (callers pass ICSALE, the SQLite
-- build stores it so). A table without a counter row starts after its highest
-- FInterID; the table itself was created unquoted, so its catalogue name is lower
-- case. Two sessions creating the same counter row at once: the second waits on the
-- primary key and then advances the row the first one made, so no number is handed
-- out twice.
-- Only the first call of a transaction writes the counter row (and so locks it until
-- the transaction ends); later calls count on in a setting local to the transaction,
-- which ICMaxNumStore writes into the row when the transaction commits. Updating one
-- row again and again in one transaction leaves a version per update behind, each of
-- which every later update has to pass: an import of many invoices would slow down
-- with the square of their number. A rolled-back transaction gives its numbers back.
CREATE OR REPLACE FUNCTION GetICMaxNum(tablename text, OUT newid integer)
LANGUAGE plpgsql
AS '
DECLARE
    counter text := ''taxferry.icmaxnum_'' || md5(upper(tablename));
    held text := current_setting(counter, true);
BEGIN
    IF coalesce(held, '''') <> '''' THEN
        newid := held::integer + 1;
    ELSE
        UPDATE t_ICMaxNum
           SET FMaxNum = FMaxNum + 1
         WHERE upper(FTableName) = upper(tablename)
        RETURNING FMaxNum INTO newid;
        IF NOT FOUND THEN
            EXECUTE format(''select coalesce(max(FInterID),0)+1 from %I'', lower(tablename))
               INTO newid;
            INSERT INTO t_ICMaxNum AS c (FTableName, FMaxNum)
            VALUES (tablename, newid)
            ON CONFLICT (FTableName) DO UPDATE SET FMaxNum = c.FMaxNum + 1
            RETURNING c.FMaxNum INTO newid;
        END IF;
    END IF;
    PERFORM set_config(counter, newid::text, true);
END
';

-- At the commit of a transaction that took numbers: the last one handed out goes into
-- the counter row (its own update finds nothing more to do).
CREATE OR REPLACE FUNCTION ICMaxNumStore() RETURNS trigger
LANGUAGE plpgsql
AS '
DECLARE
    held text := current_setting(''taxferry.icmaxnum_'' || md5(upper(NEW.FTableName)), true);
BEGIN
    IF coalesce(held, '''') <> '''' THEN
        UPDATE t_ICMaxNum SET FMaxNum = held::integer
         WHERE FTableName = NEW.FTableName AND FMaxNum < held::integer;
    END IF;
    RETURN NULL;
END
';

CREATE CONSTRAINT TRIGGER ICMaxNumStore AFTER INSERT OR UPDATE ON t_ICMaxNum
    DEFERRABLE INITIALLY DEFERRED
    FOR EACH ROW EXECUTE FUNCTION ICMaxNumStore();
