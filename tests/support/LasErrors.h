#pragma once

#include <string>

#include "las/LasException.h"

namespace telvora::test
{

// Runs the operation and returns the text of the CLasException it throws, or "" when it does not.
template <typename Operation>
std::string ErrorOf(Operation&& operation)
{
    try
    {
        operation();
    }
    catch (const CLasException& e)
    {
        return e.GetErrorText();
    }
    return "";
}

} // namespace telvora::test
