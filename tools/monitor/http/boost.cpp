// Boost.Asio, Beast and URL, compiled once for every unit that uses them
// (BOOST_ASIO_SEPARATE_COMPILATION, BOOST_BEAST_SEPARATE_COMPILATION; Boost.URL
// is compiled so by default).
#include <boost/asio/impl/src.hpp>
#include <boost/beast/src.hpp>
#include <boost/url/src.hpp>
