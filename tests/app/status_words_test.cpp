// What the status line says for each outcome the SIP library reports: pure
// mappings, tested as tables of cases.
#include <gtest/gtest.h>

#include "main_window.h"
#include "sip_internal.h"

namespace {

std::string statusFor(const SipReport &report, const char *queue = "Fiscal") {
  char text[STATUS_CAP] = "unchanged";
  statusText(report, queue, text);
  return text;
}

SipReport registration(RegistrationState state, const char *reason = "") {
  SipReport r = {state, "", CALL_NONE, 0, false, false, false};
  textCopy(r.registrationReason, reason);
  return r;
}

SipReport call(CallState state, int code = 0, bool newer = true,
               RegistrationState reg = REGISTRATION_OK) {
  SipReport r = registration(reg);
  r.call = state;
  r.callCode = code;
  r.callNewer = newer;
  return r;
}

} // namespace

TEST(StatusWords, EachReportedStateHasItsPortugueseLine) {
  struct Case {
    SipReport report;
    const char *line;
  } cases[] = {
      {registration(REGISTRATION_PENDING), "Registrando conta..."},
      {registration(REGISTRATION_OK), "Pronto para ligar"},
      {registration(REGISTRATION_FAILED), "Falha no registro: sem resposta"},
      {registration(REGISTRATION_FAILED, "acesso negado (403)"),
       "Falha no registro: acesso negado (403)"},
      {registration(REGISTRATION_UNAVAILABLE), "Telefone indispon\xedvel"},
      {registration(REGISTRATION_UNAVAILABLE, "sem pasta para os dados"),
       "Telefone indispon\xedvel (sem pasta para os dados)"},
      {call(CALL_CALLING), "Chamando Fiscal..."},
      {call(CALL_CONNECTED), "Em liga\xe7\xe3o com Fiscal"},
      {call(CALL_ENDED), "Liga\xe7\xe3o encerrada"},
      {call(CALL_LOST), "Liga\xe7\xe3o encerrada (conex\xe3o perdida)"},
      {call(CALL_NOT_SECURE), "Liga\xe7\xe3o recusada (fila sem criptografia)"},
      {call(CALL_BUSY, 486), "Fila ocupada"},
      {call(CALL_DECLINED, 603), "Chamada recusada"},
      {call(CALL_FAILED, 404), "Liga\xe7\xe3o n\xe3o completada (404)"},
      {call(CALL_FAILED, 0), "Liga\xe7\xe3o n\xe3o completada (sem resposta)"},
      {call(CALL_NOT_PLACED), "Liga\xe7\xe3o n\xe3o completada (endere\xe7o inv\xe1lido)"},
      // A call in progress is news whatever the registration did since; an
      // ended call only until the registration changes again.
      {call(CALL_CONNECTED, 0, false, REGISTRATION_FAILED), "Em liga\xe7\xe3o com Fiscal"},
      {call(CALL_ENDED, 0, false), "Pronto para ligar"},
      {call(CALL_BUSY, 486, false, REGISTRATION_FAILED), "Falha no registro: sem resposta"},
      {call(CALL_NONE, 0, true), "Pronto para ligar"},
      // A call that waits for the network says so, whichever changed last.
      {call(CALL_CONNECTED, 0, false, REGISTRATION_NO_NETWORK),
       "Sem conex\xe3o de rede, em liga\xe7\xe3o com Fiscal"},
      {call(CALL_CONNECTED, 0, true, REGISTRATION_NO_NETWORK),
       "Sem conex\xe3o de rede, em liga\xe7\xe3o com Fiscal"},
      // A phone that cannot work says so before anything about a call.
      {call(CALL_CONNECTED, 0, true, REGISTRATION_UNAVAILABLE), "Telefone indispon\xedvel"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(statusFor(c.report), c.line)
        << "registration " << c.report.registration << ", call " << c.report.call;
  // The longest queue name fits whole.
  std::string longest(SELECTED_QUEUE_CAP - 1, 'Q');
  EXPECT_EQ(statusFor(call(CALL_CONNECTED), longest.c_str()), "Em liga\xe7\xe3o com " + longest);
  // Without the network, the news goes before a name that leaves no room for it.
  EXPECT_EQ(statusFor(call(CALL_CONNECTED, 0, true, REGISTRATION_NO_NETWORK), longest.c_str()),
            "Sem conex\xe3o de rede");
}

// The registrar's answer in the user's words, its code kept.
TEST(StatusWords, RegistrarRefusalsAreSaidInPortugueseWithTheirCode) {
  struct Case {
    int code;
    const char *line;
  } cases[] = {
      {401, "Falha no registro: credenciais recusadas (401)"},
      {407, "Falha no registro: credenciais recusadas (407)"},
      {403, "Falha no registro: acesso negado (403)"},
      {404, "Falha no registro: conta n\xe3o encontrada (404)"},
      {408, "Falha no registro: servidor indispon\xedvel (408)"},
      {480, "Falha no registro: servidor indispon\xedvel (480)"},
      {503, "Falha no registro: servidor indispon\xedvel (503)"},
      {504, "Falha no registro: servidor indispon\xedvel (504)"},
      {423, "Falha no registro: intervalo recusado (423)"},
      {500, "Falha no registro: recusado (c\xf3"
            "digo 500)"},
      {606, "Falha no registro: recusado (c\xf3"
            "digo 606)"},
  };
  for (const Case &c : cases) {
    SipReport report = registration(REGISTRATION_FAILED);
    registrarRefusal(c.code, report.registrationReason);
    EXPECT_EQ(statusFor(report), c.line);
  }
}

// The far side's status code, or 0 when none came: the library's own codes
// for a time-out or an unreachable peer are no answer.
TEST(StatusWords, OnlyAnAnswerOfTheFarSideGivesACode) {
  struct Case {
    LinphoneReason reason;
    int protocolCode, code;
  } cases[] = {
      {LinphoneReasonForbidden, 403, 403}, {LinphoneReasonBusy, 486, 486},
      {LinphoneReasonUnknown, 500, 500},   {LinphoneReasonNoResponse, 408, 0},
      {LinphoneReasonIOError, 503, 0},     {LinphoneReasonNotAnswered, 487, 0},
      {LinphoneReasonNone, 200, 0},        {LinphoneReasonNone, 0, 0},
  };
  EXPECT_EQ(answerCode(nullptr), 0);
  for (const Case &c : cases) {
    LinphoneErrorInfo *info = linphone_error_info_new();
    linphone_error_info_set_reason(info, c.reason);
    linphone_error_info_set_protocol_code(info, c.protocolCode);
    EXPECT_EQ(answerCode(info), c.code) << c.protocolCode;
    linphone_error_info_unref(info);
  }
}
