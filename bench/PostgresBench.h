#pragma once
// A PostgreSQL server for the benchmarks: started on first use in a temporary folder of its own
// (fsync on, reached through its Unix socket), stopped when the run ends.

#include <QString>

// A new, empty database on that server as a URL; empty, with the reason in why, when no server
// can be started here (no PostgreSQL 15 binaries, say).
QString postgresBenchDatabase(QString& why);
