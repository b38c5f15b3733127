#include "net/transport.h"

volatile int CancelTransfer = 0;
volatile int Quitting = 0;
