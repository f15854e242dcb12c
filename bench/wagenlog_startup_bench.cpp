// Start-up of Wagenlog with 10 000 expense records: from creating the data module to the main
// window shown, offscreen. That is opening the database and both tables, the statistics walk
// (which writes the consumption into every fuel record, each change committed on its own), the
// grid's first window of records and the window's first paint. Goal: under 0.3 s.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDate>
#include <QProcess>
#include <QTemporaryDir>

#include "app/forms/program.h"
#include "wagenlog/startup.h"
#include "engine/foundation/types/date_time.h"

namespace qdx {
namespace {

constexpr int kRecords = 10000;

// A database beside a stand-in executable directory, with a vehicle record and kRecords
// expenses: every third a fuel record, the others spread over the other categories.
class TStartUpDatabase {
 public:
  TStartUpDatabase() {
    SetDatabaseDirectory(directory_.path());
    const QString file = directory_.filePath(QStringLiteral("wagenlog.qdx"));
    QProcess::execute(QStringLiteral(QDX_TOOL_PATH),
                      {QStringLiteral("create"), file, QStringLiteral("--schema"),
                       QStringLiteral("wagenlog")});
    TDataModule1 data;
    data.QDXDatabase1.SetDatabaseFileName(DatabasePath());
    data.tb1.Open();
    data.tb6.Open();
    data.tb6.Append();
    data.tb6.FieldByName("Start_km-stand").SetAsInteger(10000);
    data.tb6.Post();
    static constexpr const char16_t* kOthers[] = {u"Onderhoud", u"Verzekering",
                                                  u"Wegenbelasting", u"Afschrijving"};
    int32_t km = 10000;
    int32_t day = 0;
    for (int i = 0; i < kRecords; ++i) {
      const bool fuel = i % 3 == 0;
      data.tb1.Append();
      data.tb1.FieldByName("Datum").SetAsDateTime(DayNumberToDateValue(738000 + day));
      data.tb1.FieldByName("Omschrijving").SetAsString(fuel ? u"Brandstof" : kOthers[i % 4]);
      data.tb1.FieldByName("Bedrijf").SetAsString(u"Shell");
      if (fuel) {
        km += 450 + i % 200;
        data.tb1.FieldByName("KMStand").SetAsInteger(km);
        data.tb1.FieldByName("Liters").SetAsFloat(30 + i % 20);
      }
      data.tb1.FieldByName("bedrag").SetAsCurrency(50 + i % 70);
      data.tb1.Post();
      day += i % 2;
    }
  }
  ~TStartUpDatabase() { SetDatabaseDirectory({}); }

 private:
  QTemporaryDir directory_;
};

void BM_StartUpToMainWindowShown(benchmark::State& state) {
  static TStartUpDatabase database;
  for (auto _ : state) {
    TWagenlogProgram program;
    program.Form1.show();
    QApplication::processEvents();
    benchmark::DoNotOptimize(program.Form1.Label6->text());
  }
}
BENCHMARK(BM_StartUpToMainWindowShown)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qdx

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  qdx::wagenlog::Startup();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
