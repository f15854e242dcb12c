#include "app/forms/data_module.h"

#include <QCoreApplication>
#include <QDir>

#include "wagenlog/program_texts.h"
#include "wagenlog/schema.h"

namespace qdx {

namespace {

void SetUpTable(TQDXTable& table, const char* name, const wagenlog::TableSchema& schema) {
  table.SetName(name);
  table.SetDatabaseName(wagenlog::kDatabaseName);
  table.SetTableName(schema.Name);
  table.SetIndexName(schema.IndexName);
  table.SetExclusive(false);
  table.SetReadOnly(false);
  table.SetInMemory(false);
  table.SetStoreDefs(true);
}

QString& DatabaseDirectory() {
  static QString directory;
  return directory;
}

QString& DatabaseFile() {
  static QString file;
  return file;
}

}  // namespace

TDataModule1::TDataModule1()
    : QDXDatabase1("QDXDatabase1", this), brandstof(&tb1), autogegevens(&tb6) {
  QDXDatabase1.SetDatabaseName(wagenlog::kDatabaseName);
  QDXDatabase1.SetSessionName("Default");
  QDXDatabase1.Exclusive = false;
  QDXDatabase1.MultiUser = false;
  QDXDatabase1.MaxConnections = 500;
  SetUpTable(tb1, "tb1", wagenlog::kExpenseTable);
  SetUpTable(tb6, "tb6", wagenlog::kVehicleTable);
  brandstof.SetAutoEdit(false);
  autogegevens.SetAutoEdit(true);
}

void SetDatabaseDirectory(QString directory) {
  DatabaseDirectory() = std::move(directory);
}

void SetDatabaseFile(QString path) {
  DatabaseFile() = std::move(path);
}

std::string DatabasePath() {
  if (!DatabaseFile().isEmpty()) return QDir::toNativeSeparators(DatabaseFile()).toStdString();
  QString directory = DatabaseDirectory();
  if (directory.isEmpty()) directory = QCoreApplication::applicationDirPath();
  if (!directory.endsWith(QLatin1Char('/'))) directory += QLatin1Char('/');
  return QDir::toNativeSeparators(directory).toStdString() + msg::kDatabaseFileName;
}

}  // namespace qdx
