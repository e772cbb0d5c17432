#include "net/HttpClient.h"

#include "net/TcpConnection.h"

#include <wx/log.h>
#include <wx/sckaddr.h>
#include <wx/strconv.h>
#include <wx/thread.h>
#include <wx/tokenzr.h>
#include <wx/url.h>

#include <algorithm>
#include <cstring>

namespace
{
// A longer head is not an answer we can use.
const size_t MAX_HEAD = 64 * 1024;

wxMutex gs_proxyLock;
wxString gs_proxy;

// "host" or "host:port", as the toolkit names a server in "Host".
wxString Authority(const wxString& host, unsigned short port)
{
    wxString text = host;
    if ( port && port != 80 )
        text << ":" << port;
    return text;
}

// "host:port" with both parts, as the toolkit's default proxy takes it; anything else is no proxy.
bool SplitProxy(const wxString& proxy, wxString& host, unsigned short& port)
{
    host = proxy.BeforeFirst(':');
    unsigned long number = 0;
    if ( host.empty() || !proxy.AfterFirst(':').ToULong(&number) || number == 0 || number > 65535 )
        return false;
    port = static_cast<unsigned short>(number);
    return true;
}
}

// The body of an answer, read from the client's connection. Like the toolkit's own, it ends at
// "Content-Length" when there is one, and without one where the server closes the connection.
// Unlike it, a body that breaks off is told from one that ended: a sized body that ends early,
// and a failed, timed-out or stopped read, are read errors.
class HttpClient::BodyStream : public wxInputStream
{
public:
    BodyStream(HttpClient& client, size_t size)
        : m_client(client)
        , m_size(size)
    {
    }
    ~BodyStream() override { m_client.Abort(); }

    size_t GetSize() const override { return m_size; }
    bool CanRead() const override;

protected:
    size_t OnSysRead(void* buffer, size_t size) override;

private:
    HttpClient& m_client;
    size_t m_size;
    size_t m_read = 0;
};

bool HttpClient::BodyStream::CanRead() const
{
    if ( m_lasterror == wxSTREAM_EOF || m_read >= m_size )
        return false;
    return !m_client.m_pending.empty() || (m_client.m_connection && m_client.m_connection->HasData());
}

size_t HttpClient::BodyStream::OnSysRead(void* buffer, size_t size)
{
    if ( m_read >= m_size )
    {
        m_lasterror = wxSTREAM_EOF;
        return 0;
    }
    std::string& pending = m_client.m_pending;
    if ( !pending.empty() )
    {
        const size_t taken = std::min(size, pending.size());
        std::memcpy(buffer, pending.data(), taken);
        pending.erase(0, taken);
        m_read += taken;
        m_lasterror = wxSTREAM_NO_ERROR;
        return taken;
    }
    if ( !m_client.m_connection )
    {
        m_lasterror = wxSTREAM_READ_ERROR;
        return 0;
    }
    size_t got = 0;
    const TcpConnection::Result result = m_client.m_connection->Receive(static_cast<char*>(buffer), size, got);
    m_read += got;
    if ( result == TcpConnection::DONE )
        m_lasterror = wxSTREAM_NO_ERROR;
    else if ( result == TcpConnection::CLOSED && m_size == static_cast<size_t>(-1) )
        m_lasterror = wxSTREAM_EOF;
    else
        m_lasterror = wxSTREAM_READ_ERROR;
    if ( m_lasterror == wxSTREAM_READ_ERROR )
        wxLogTrace("lumora", "HttpClient: reading from %s %s after %lu bytes", m_client.m_server,
                   TcpConnection::Describe(result), static_cast<unsigned long>(m_read));
    return got;
}

HttpClient::HttpClient() = default;

HttpClient::~HttpClient()
{
    Abort();
}

void HttpClient::SetProxy(const wxString& proxy)
{
    wxMutexLocker lock(gs_proxyLock);
    gs_proxy = proxy;
}

wxString HttpClient::GetProxy()
{
    wxMutexLocker lock(gs_proxyLock);
    // A copy of its own for the calling thread.
    return gs_proxy.Clone();
}

bool HttpClient::Connect(const wxString& host, unsigned short port)
{
    Abort();
    m_server = host;
    m_port = port;
    SetHeader("Host", Authority(host, port));
    m_lastError = wxPROTO_NOERR;
    return true;
}

bool HttpClient::Connect(const wxSockAddress& address, bool WXUNUSED(wait))
{
    const wxIPV4address* ipv4 = wxDynamicCast(&address, wxIPV4address);
    if ( !ipv4 )
    {
        m_lastError = wxPROTO_NETERR;
        return false;
    }
    return Connect(ipv4->OrigHostname(), ipv4->Service());
}

bool HttpClient::Abort()
{
    m_connection.reset();
    m_pending.clear();
    return true;
}

wxString HttpClient::GetRoute() const
{
    wxString host;
    unsigned short port = 0;
    if ( SplitProxy(GetProxy(), host, port) )
        return Authority(host, port);
    return Authority(m_server, m_port ? m_port : 80);
}

wxInputStream* HttpClient::Open(const wxURL& url)
{
    unsigned long port = 0;
    if ( !url.GetPort().ToULong(&port) || port > 65535 )
        port = 0;
    Connect(url.GetServer(), static_cast<unsigned short>(port));
    wxString path = url.GetPath();
    if ( path.empty() )
        path = "/";
    if ( url.HasQuery() )
        path += "?" + url.GetQuery();
    if ( url.HasFragment() )
        path += "#" + url.GetFragment();
    return GetInputStream(path);
}

wxInputStream* HttpClient::GetInputStream(const wxString& path)
{
    Abort();
    m_lastError = wxPROTO_CONNERR;
    if ( m_server.empty() )
        return nullptr;

    wxString proxyHost;
    unsigned short proxyPort = 0;
    const bool viaProxy = SplitProxy(GetProxy(), proxyHost, proxyPort);
    if ( !m_hostHeader.empty() )
        SetHeader("Host", m_hostHeader);
    // A proxy must be told the whole address; the port would otherwise be lost.
    const wxString target = viaProxy ? "http://" + Authority(m_server, m_port) + path : path;

    const long timeout = GetTimeout() > 0 ? static_cast<long>(GetTimeout()) : 1;
    m_connection.reset(new TcpConnection(static_cast<int>(std::min<long>(timeout, MAX_WAIT_SECONDS) * 1000),
                                         MAX_WAIT_SECONDS * 1000, m_shouldStop));
    const TcpConnection::Result connected = viaProxy ? m_connection->Connect(proxyHost, proxyPort)
                                                     : m_connection->Connect(m_server, m_port);
    if ( connected != TcpConnection::DONE )
    {
        wxLogTrace("lumora", "HttpClient: connecting to %s %s", GetRoute(), TcpConnection::Describe(connected));
        Abort();
        return nullptr;
    }
    wxLogTrace("lumora", "HttpClient: GET %s via %s", target, GetRoute());
    if ( !SendRequest(target) || !ReadHead() )
    {
        Abort();
        return nullptr;
    }

    const wxString length = GetHeader("Content-Length");
    const size_t size = length.empty() ? static_cast<size_t>(-1) : static_cast<size_t>(wxAtoi(length));
    m_lastError = wxPROTO_NOERR;
    return new BodyStream(*this, size);
}

bool HttpClient::SendRequest(const wxString& target)
{
    wxString method = m_method;
    if ( method.empty() )
        method = "GET";
    if ( GetHeader("User-Agent").empty() )
        SetHeader("User-Agent", wxVERSION_STRING);
    if ( !m_username.empty() || !m_password.empty() )
        SetHeader("Authorization", GenerateAuthString(m_username, m_password));

    // The toolkit's own wording and conversions, so that the server sees the same bytes.
    std::string request;
    const wxString line = wxString::Format("%s %s HTTP/1.0\r\n", method, target);
    request += line.mb_str().data();
    for ( wxHeaderConstIterator it = m_headers.begin(); it != m_headers.end(); ++it )
        request += wxString::Format("%s: %s\r\n", it->first, it->second).mb_str().data();
    request += "\r\n";

    const TcpConnection::Result sent = m_connection->Send(request.data(), request.size());
    if ( sent != TcpConnection::DONE )
    {
        wxLogTrace("lumora", "HttpClient: sending to %s %s", GetRoute(), TcpConnection::Describe(sent));
        m_lastError = wxPROTO_NETERR;
        return false;
    }
    return true;
}

bool HttpClient::ReadHeadLine(wxString& line)
{
    for ( ;; )
    {
        const size_t end = m_pending.find('\n');
        if ( end != std::string::npos )
        {
            size_t length = end;
            if ( length > 0 && m_pending[length - 1] == '\r' )
                --length;
            line = wxString(m_pending.data(), wxWhateverWorksConv(), length);
            m_pending.erase(0, end + 1);
            return true;
        }
        if ( m_pending.size() > MAX_HEAD )
        {
            wxLogTrace("lumora", "HttpClient: the head from %s is too long", GetRoute());
            return false;
        }
        char buffer[4096];
        size_t got = 0;
        const TcpConnection::Result result = m_connection->Receive(buffer, sizeof buffer, got);
        if ( result != TcpConnection::DONE )
        {
            wxLogTrace("lumora", "HttpClient: reading the head from %s %s", GetRoute(),
                       TcpConnection::Describe(result));
            return false;
        }
        m_pending.append(buffer, got);
    }
}

bool HttpClient::ReadHead()
{
    m_lastError = wxPROTO_NETERR;
    m_http_response = 0;
    size_t headSize = 0;
    wxString status;
    if ( !ReadHeadLine(status) )
        return false;
    if ( !status.Contains("HTTP/") )
    {
        // An answer without a head, as the toolkit takes it.
        SetHeader("Content-Length", "-1");
        SetHeader("Content-Type", "none/none");
        m_lastError = wxPROTO_NOERR;
        return true;
    }
    wxStringTokenizer tokens(status, " ");
    tokens.GetNextToken();
    const wxString code = tokens.GetNextToken();
    m_http_response = wxAtoi(code);
    if ( code.empty() || (code[0] != '1' && code[0] != '2' && code[0] != '3') )
    {
        wxLogTrace("lumora", "HttpClient: %s answered \"%s\"", GetRoute(), status);
        m_lastError = wxPROTO_NOFILE;
        return false;
    }

    ClearHeaders();
    ClearCookies();
    m_read = true;
    for ( ;; )
    {
        wxString line;
        if ( !ReadHeadLine(line) )
        {
            m_lastError = wxPROTO_NETERR;
            return false;
        }
        headSize += line.length() + 2;
        if ( headSize > MAX_HEAD )
        {
            m_lastError = wxPROTO_PROTERR;
            return false;
        }
        if ( line.empty() )
            break;
        const wxString name = line.BeforeFirst(':');
        const wxString value = line.AfterFirst(':').Strip(wxString::both);
        if ( !name.CmpNoCase("Set-Cookie") )
            m_cookies[value.BeforeFirst('=')] = value.AfterFirst('=').BeforeFirst(';');
        m_headers[name] = value;
    }
    m_lastError = wxPROTO_NOERR;
    return true;
}
