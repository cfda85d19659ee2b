// Debian's package of the SIP stack only: a guard in front of the stack's
// acknowledgement of an answer, for a dialog the call library already dropped.
#if defined(__GLIBC__) && !defined(SIP_STACK_PATCHED)
// Debian's package only (the stack we build carries the same guard in its
// own patch): a guard in front of one function of the SIP stack under the
// call library.
// When the library cannot accept a queue's answer (plain audio where SRTP is
// required, say) it hangs up while still handling that answer; when the
// hang-up cannot even be sent (the queue's Contact names a transport this
// program does not listen on, such as plain TCP in the TLS build) the
// library drops the call's dialog there and then, and goes on to send the
// answer's acknowledgement on the dialog it no longer has, which would crash
// the process. Without a dialog there is nothing left to acknowledge. This
// definition takes the place of the stack's own for the library's calls; the
// stack's own does the work.
#include <belle-sip/belle-sip.h>
#include <dlfcn.h>

extern "C" void belle_sip_dialog_send_ack(belle_sip_dialog_t *dialog, belle_sip_request_t *ack) {
  using SendAck = void (*)(belle_sip_dialog_t *, belle_sip_request_t *);
  static const SendAck stackSendAck =
      reinterpret_cast<SendAck>(dlsym(RTLD_NEXT, "belle_sip_dialog_send_ack"));
  if (dialog && stackSendAck)
    stackSendAck(dialog, ack);
}
#endif
