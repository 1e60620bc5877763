#pragma once
// What the three picker windows list: their queries on the accounting set, captions, column titles,
// widths and which columns hold the identifier and the name. Kept apart from the windows so the lists
// can be checked without a screen.

#include "common/Connection.h"

class Session;
#include <QList>
#include <QString>

struct PickerLayout {
    QString caption;
    QString titles;         // "|"-separated, exactly as the grid shows them
    QList<int> widthsTwips; // one per title column; 0 hides the column
    int idColumn = -1;      // -1: the list has no identifier (models)
    int nameColumn = 0;
    bool centreTitles = true; // models keep their title left-aligned
};

// CustomerPicker: fType 0 lists customers, any other value suppliers.
QString buildClientSql(const Session& session, int fType);
PickerLayout clientLayout(int fType);

// ProductPicker: products.
QString buildItemSql();
PickerLayout itemLayout(const Session& session);

// OtherNamePicker: 2 units of measure, 3 users, 4 models; any other type has no query (empty text).
QString buildOtherSql(int intType);
PickerLayout otherLayout(const Session& session, int intType);
// The title for a list type; "其它信息" for a type without a list.
QString otherCaption(const Session& session, int intType);

// Runs a picker query on the accounting connection. Throws DbError, also for an empty query text.
RecordsetPtr openPickerList(Connection& acct, const QString& sql);

// The identifier text of a list row as a 32-bit integer; -1 when it is not a whole number in range.
int pickerIdFromText(const QString& text);
