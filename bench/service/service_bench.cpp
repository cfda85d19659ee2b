#include <benchmark/benchmark.h>

#include <string>

#include "loopback_http.h"
#include "service.h"
#include "service_internal.h"
#include "temp_work_dir.h"

namespace {

std::string answerWithQueues(int queues) {
  std::string filas;
  for (int i = 0; i < queues; ++i) {
    filas += i ? "," : "";
    filas += R"({"nome":"Fila de atendimento n\u00famero )" + std::to_string(i) +
             R"( \u00e1rea t\u00e9cnica","info":{"user":"atendimento)" + std::to_string(i) +
             R"("}})";
  }
  return R"({"resposta":{"status":true,"mensagem":"ok","dominio":"sip.example.net",)"
         R"("user":"cliente7","pass":"segredo"},"filas":[{"nome":"Geral","info":[)" +
         filas + "]}]}";
}

void forgetQueues() {
  app.queueNames.clear();
  app.queueUsers.clear();
}

// One whole login: key file check, form POST over loopback, JSON answer with
// 5 queues, storing. Every repetition is one exchange; the median is printed.
void LoginExchange(benchmark::State &state) {
  static TempWorkDir dir;
  static LoopbackHttp server;
  server.setAnswer("/appConsultoria/mirtavel.php", 200, answerWithQueues(5));
  setServiceHostForTests(server.hostPort().c_str());
  textCopy(app.loginCode, "12345");
  textCopy(app.loginPassword, "s3nha");
  for (auto _ : state) {
    forgetQueues();
    if (!serviceLogin())
      state.SkipWithError("login failed");
  }
}
BENCHMARK(LoginExchange)
    ->Iterations(1)
    ->Repetitions(200)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

// Parsing, checking and storing an answer already received.
void HandleAnswer(benchmark::State &state) {
  const std::string body = answerWithQueues(static_cast<int>(state.range(0)));
  std::string refusal;
  for (auto _ : state) {
    forgetQueues();
    if (applyLoginAnswer(body, refusal) != ANSWER_ACCEPTED)
      state.SkipWithError("answer not accepted");
  }
  state.counters["queues"] = static_cast<double>(app.queueNames.size());
}
BENCHMARK(HandleAnswer)->Arg(1)->Arg(50)->Arg(500)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
