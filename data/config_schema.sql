-- Taxlink.db: the configuration database of Taxferry.
-- Links, field catalogues and export templates; import rules and defaults;
-- the base-data name pairs kept by the mapping editor.
-- Declared types matter: the program reads them to decide how to render values.

-- One row per link (关联). FInvioceType 0 = special VAT invoice, anything else ordinary.
-- FInOrOut is compared as text: "0" marks an export link.
CREATE TABLE t_BaseInfo (
    FID          INTEGER PRIMARY KEY,
    FName        TEXT,
    FInvioceType INTEGER,
    FSeperator   TEXT,
    FMemo        TEXT,
    FDate        TEXT,
    FInOrOut     TEXT,
    -- The tax system's limits of one invoice (0 or empty: none) and, for an invoice over the
    -- line limit, a sales list instead of pieces (1).
    FMaxLines    INTEGER,
    FMaxAmount   REAL,
    FUseList     INTEGER,
    -- The file the link writes: 'txt' (or empty) the tax system's text file, 'xml' the invoicing
    -- software's XML file, 'xlsx' the e-invoice platform's batch workbook; and whether a line's goods
    -- name is written as *简称*名称 with the short name of its tax classification code (1).
    FFormat      TEXT,
    FPrefixShortName INTEGER,
    -- The invoices of one buyer exported as one document (1), and alike lines of such a document as
    -- one line (1).
    FMergeBuyer  INTEGER,
    FMergeLines  INTEGER,
    -- 备注 begins with the document's 单据号 and a space (1): the platform gives back 备注 as written,
    -- so its list of issued invoices finds the documents by it.
    FDocNoInRemark INTEGER
);

-- Field mappings of the links. FID numbers the rows in insertion order, which is
-- the field order in the export file, so it must keep counting upwards.
CREATE TABLE t_Detail (
    FID         INTEGER PRIMARY KEY AUTOINCREMENT,
    FBaseInfoID INTEGER,
    FTaxID      INTEGER,
    FisFormula  BOOLEAN,
    FQORField   TEXT,
    FisHead     BOOLEAN
);

CREATE INDEX ix_Detail_BaseInfo ON t_Detail (FBaseInfoID, FisHead);

-- Factory mappings of the default link; copied into t_Detail with "select *",
-- so the columns must stay in the order of t_Detail.
CREATE TABLE t_DefaultDetail (
    FID         INTEGER PRIMARY KEY,
    FBaseInfoID INTEGER,
    FTaxID      INTEGER,
    FisFormula  BOOLEAN,
    FQORField   TEXT,
    FisHead     BOOLEAN
);

-- Fields of the sales-document import file of the tax system; Fid is also the display order.
-- FFieldType: "1" text, "2" date, "3" number.
-- FFormat: empty for the fields of the text and XML files; 'xlsx' for the headings of the e-invoice
-- platform's template, read into this table by 读取平台模板 (Fid from 1001).
CREATE TABLE t_TaxField (
    Fid        INTEGER PRIMARY KEY,
    Fname      TEXT,
    FFieldType TEXT,
    FisHead    BOOLEAN,
    FFormat    TEXT
);

-- Factory copy of t_TaxField; same columns in the same order ("insert … select *").
CREATE TABLE t_TaxDefaultField (
    Fid        INTEGER PRIMARY KEY,
    Fname      TEXT,
    FFieldType TEXT,
    FisHead    BOOLEAN
);

-- Fields the accounting side can deliver. FFieldName is what goes into the export
-- select list: an output column of template tbl1 or tbl2.
CREATE TABLE t_QorField (
    FID        TEXT PRIMARY KEY,
    FFieldName TEXT,
    FFieldType TEXT,
    FFieldDesc TEXT,
    FisHead    BOOLEAN,
    forder     INTEGER
);

-- The two export templates, keys tbl1 and tbl2.
CREATE TABLE t_OtherInfo (
    Fkey TEXT PRIMARY KEY,
    FSQL TEXT
);

-- Fields of the issued-invoice file of the tax system, in line order (Forder).
-- FValidType "2" checks the value against the comma-separated list in FValidValue.
CREATE TABLE t_ImportField (
    FFieldDesc   TEXT,
    FisHead      BOOLEAN,
    Forder       INTEGER,
    FisNeedValid BOOLEAN,
    FValidType   TEXT,
    FValidValue  TEXT
);

-- Fixed values for ICSale columns that the import does not fill itself.
CREATE TABLE t_qorDefault (
    FisHead    BOOLEAN,
    FFieldName TEXT,
    FDefault   TEXT
);

-- Name pairs between the tax system and the accounting system, per base-data kind
-- (FFieldName: customer, prod, unit, user, model).
CREATE TABLE t_ItemMap (
    FLinkID    INTEGER,
    FTable     TEXT,
    FFieldName TEXT,
    FQorData   TEXT,
    FQorDataID TEXT,
    FTaxData   TEXT
);

-- A tax-system name may occur only once per kind; the mapping editor relies on
-- this index to refuse a save with duplicates.
CREATE UNIQUE INDEX ux_ItemMap_TaxData ON t_ItemMap (FLinkID, FFieldName, FTaxData);

-- The tax system's 商品和服务税收分类编码 of the accounting set's products, one row per product
-- (t_IcItem.FItemID; number and name as they were when the row was written). FTaxCode has 19 digits;
-- FPreferential 0/1; FZeroRate empty (ordinary rate), 1 免税, 2 不征收 or 3 普通零税率. The version of
-- the code table the catalogue follows is the row TaxCodeVersion of t_OtherInfo.
CREATE TABLE t_TaxCode (
    FItemID           INTEGER NOT NULL,
    FItemNumber       TEXT,
    FItemName         TEXT,
    FTaxCode          TEXT,
    FShortName        TEXT,
    FOwnCode          TEXT,
    FPreferential     INTEGER,
    FPreferentialText TEXT,
    FZeroRate         TEXT
);

CREATE UNIQUE INDEX ux_TaxCode_Item ON t_TaxCode (FItemID);

-- The e-invoice platform's batch-issuance template as the user installed it (读取平台模板): the file
-- itself, of which every workbook the export writes is a copy. One row; its layout is the row
-- WorkbookLayout of t_OtherInfo.
CREATE TABLE t_PlatformTemplate (
    FName     TEXT,
    FFileName TEXT,
    FContent  BLOB,
    FTime     TEXT
);
