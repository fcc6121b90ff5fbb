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

// The same as "text (detail)", as the tools print it, or "" when it does not throw.
template <typename Operation>
std::string MessageOf(Operation&& operation)
{
    try
    {
        operation();
    }
    catch (const CLasException& e)
    {
        return std::string(e.GetErrorText()) + " (" + e.GetDetail() + ")";
    }
    return "";
}

} // namespace telvora::test
