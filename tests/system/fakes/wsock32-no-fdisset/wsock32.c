/* Nothing of its own: every export of this wsock32 is a forwarder. */
typedef int WsockForwardersOnly;
