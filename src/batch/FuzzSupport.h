#pragma once
// What the fuzz targets share: an application, a silent message sink, and a configuration database and
// demo accounting set made once in a temporary folder from the data/ scripts.

#include "common/Session.h"
#include <QString>

// Made on first use; the session's connections stay open for the whole run.
Session& fuzzSession();
// A file in the run's temporary folder.
QString fuzzPath(const QString& name);
