#include "app/forms/data_module.h"

#include <QCoreApplication>
#include <QDir>

#include "engine/foundation/messages.h"

namespace qdx {

namespace {

constexpr const char* kDatabaseName = "wagenlog";

void SetUpTable(TQDXTable& table, const char* name, const char* tableName,
                const char* indexName) {
  table.SetName(name);
  table.SetDatabaseName(kDatabaseName);
  table.SetTableName(tableName);
  table.SetIndexName(indexName);
  table.SetExclusive(false);
  table.SetReadOnly(false);
  table.SetInMemory(false);
  table.SetStoreDefs(true);
}

QString& DatabaseDirectory() {
  static QString directory;
  return directory;
}

}  // namespace

TDataModule1::TDataModule1()
    : QDXDatabase1("QDXDatabase1", this), brandstof(&tb1), autogegevens(&tb6) {
  QDXDatabase1.SetDatabaseName(kDatabaseName);
  QDXDatabase1.SetSessionName("Default");
  QDXDatabase1.Exclusive = false;
  QDXDatabase1.MultiUser = false;
  QDXDatabase1.MaxConnections = 500;
  SetUpTable(tb1, "tb1", "Brandstofkosten", "Datum");
  SetUpTable(tb6, "tb6", "Autogegevens", "");
  brandstof.SetAutoEdit(false);
  autogegevens.SetAutoEdit(true);
}

void SetDatabaseDirectory(QString directory) {
  DatabaseDirectory() = std::move(directory);
}

std::string DatabasePath() {
  QString directory = DatabaseDirectory();
  if (directory.isEmpty()) directory = QCoreApplication::applicationDirPath();
  if (!directory.endsWith(QLatin1Char('/'))) directory += QLatin1Char('/');
  return QDir::toNativeSeparators(directory).toStdString() + msg::kDatabaseFileName;
}

}  // namespace qdx
