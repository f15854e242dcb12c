// TDataModule1: the program's data components, created at start-up before any window and
// destroyed at exit after them.
//
//   QDXDatabase1  database component "wagenlog", session "Default", not exclusive, single-user,
//                 500 connections; its file is set by the main window at start-up
//   tb1           table "Brandstofkosten" with index "Datum" (the expense records, in date order)
//   tb6           table "Autogegevens" without index (the vehicle record)
//   brandstof     data source over tb1, AutoEdit off: the user starts edits with the navigator
//   autogegevens  data source over tb6, AutoEdit on: typing starts an edit
//
// The tables reach the database through the shared DatabaseName, not a reference. Nothing is
// connected or opened at creation. Members are destroyed in reverse order: the data sources,
// the tables (each closing and cancelling an unposted change), then the database, which
// disconnects.
#pragma once

#include <QString>
#include <string>

#include "dataset/framework/data_source.h"
#include "dataset/qdx_database.h"
#include "dataset/qdx_table.h"

namespace qdx {

class TDataModule1 {
 public:
  TDataModule1();
  TDataModule1(const TDataModule1&) = delete;
  TDataModule1& operator=(const TDataModule1&) = delete;

  TQDXDatabase QDXDatabase1;
  TQDXTable tb1;
  TQDXTable tb6;
  TDataSource brandstof;
  TDataSource autogegevens;
};

// The database file of the program: the file set by SetDatabaseFile, else the executable's
// directory, with its trailing separator, followed by "wagenlog.qdx".
std::string DatabasePath();
// The vehicle file the program starts on (a file given on the command line or used last); empty
// for the file in the database directory again.
void SetDatabaseFile(QString path);
// Tests put the database elsewhere: `directory` stands for the executable's (empty: the
// executable's own again).
void SetDatabaseDirectory(QString directory);

}  // namespace qdx
