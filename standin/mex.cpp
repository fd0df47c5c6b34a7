// libmex: the calling-context operations. Only mexErrMsgTxt is needed.
#include "standin.h"

extern "C" MEX_EXPORT void mexErrMsgTxt(const char *message)
{
    standin::trace_record(std::string("mexErrMsgTxt(") + message + ")");
    throw standin::HostError{message};
}
