/*
 * libcurl-x64.dll for the Windows tests: the eight libcurl functions the
 * module calls, without a network.
 *
 * The module is linked against libcurl-x64.dll by name; putting this DLL
 * beside the host program makes every post land here instead of on the
 * network. Each transfer is appended to a log as one line, so a test can
 * compare what the module sent with what it expected:
 *
 *   global_init FLAGS
 *   POST URL BODY          bytes below 0x20, 0x7F and '\' written as \xHH
 *   unexpected_option N    an option other than those the module needs to
 *                          post (address, body, reply callback) and to bound
 *                          the transfer (time-outs, no signals); one that
 *                          weakens certificate checks would show up here
 *   cleanup
 *
 * Environment:
 *   PINGWELL_FAKE_CURL_LOG     file the lines are appended to (none: no log)
 *   PINGWELL_FAKE_CURL_REPLY   reply body (default {"ok":true})
 *   PINGWELL_FAKE_CURL_RESULT  result code every transfer returns (default 0);
 *                              a failed transfer delivers no reply
 */

#define BUILDING_LIBCURL /* this file defines the exported functions */
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

struct Curl_easy {
  char *url;
  const char *postFields; /* not copied, as in libcurl */
  long long postFieldSize; /* -1: strlen of postFields */
  curl_write_callback writeFunction;
  void *writeData;
  void *headerData;
};

static void appendLog(const char *prefix, const char *data, size_t size) {
  const char *path = getenv("PINGWELL_FAKE_CURL_LOG");
  if (path == NULL || path[0] == '\0') {
    return;
  }
  FILE *log = fopen(path, "ab");
  if (log == NULL) {
    return;
  }
  fputs(prefix, log);
  for (size_t i = 0; i < size; ++i) {
    unsigned char c = (unsigned char)data[i];
    if (c < 0x20 || c == 0x7F || c == '\\') {
      fprintf(log, "\\x%02X", c);
    } else {
      fputc(c, log);
    }
  }
  fputc('\n', log);
  fclose(log);
}

static void logLine(const char *line) { appendLog(line, "", 0); }

CURLcode curl_global_init(long flags) {
  char line[64];
  snprintf(line, sizeof line, "global_init %ld", flags);
  logLine(line);
  return CURLE_OK;
}

CURL *curl_easy_init(void) {
  CURL *handle = calloc(1, sizeof *handle);
  if (handle != NULL) {
    handle->postFieldSize = -1;
  }
  return handle;
}

void curl_easy_cleanup(CURL *handle) {
  if (handle == NULL) {
    return;
  }
  free(handle->url);
  free(handle);
  logLine("cleanup");
}

CURLcode curl_easy_setopt(CURL *handle, CURLoption option, ...) {
  if (handle == NULL) {
    return CURLE_BAD_FUNCTION_ARGUMENT;
  }
  CURLcode result = CURLE_OK;
  va_list args;
  va_start(args, option);
  switch (option) {
  case CURLOPT_URL: {
    const char *url = va_arg(args, const char *);
    char *copy = NULL;
    if (url != NULL) {
      copy = malloc(strlen(url) + 1);
      if (copy == NULL) {
        result = CURLE_OUT_OF_MEMORY;
        break;
      }
      strcpy(copy, url);
    }
    free(handle->url);
    handle->url = copy;
    break;
  }
  case CURLOPT_POSTFIELDS:
    handle->postFields = va_arg(args, const char *);
    break;
  case CURLOPT_POSTFIELDSIZE:
    handle->postFieldSize = va_arg(args, long);
    break;
  case CURLOPT_POSTFIELDSIZE_LARGE:
    handle->postFieldSize = va_arg(args, curl_off_t);
    break;
  case CURLOPT_WRITEFUNCTION:
    handle->writeFunction = va_arg(args, curl_write_callback);
    break;
  case CURLOPT_WRITEDATA:
    handle->writeData = va_arg(args, void *);
    break;
  case CURLOPT_HEADERDATA:
    handle->headerData = va_arg(args, void *);
    break;
  case CURLOPT_TIMEOUT:
  case CURLOPT_CONNECTTIMEOUT:
  case CURLOPT_NOSIGNAL:
  case CURLOPT_TIMEOUT_MS:
  case CURLOPT_CONNECTTIMEOUT_MS:
    (void)va_arg(args, long);
    break;
  default: {
    char line[64];
    snprintf(line, sizeof line, "unexpected_option %d", (int)option);
    logLine(line);
    result = CURLE_UNKNOWN_OPTION;
    break;
  }
  }
  va_end(args);
  return result;
}

/* Hands `size` bytes to the write callback the way libcurl does: in more
 * than one piece, so a callback that keeps only the last piece is caught. */
static CURLcode deliver(CURL *handle, void *userData, const char *data,
                        size_t size) {
  if (handle->writeFunction == NULL) {
    fwrite(data, 1, size, stdout); /* libcurl's default: standard output */
    return CURLE_OK;
  }
  size_t first = size / 2;
  size_t pieces[2] = {first, size - first};
  const char *at = data;
  for (int i = 0; i < 2; ++i) {
    if (pieces[i] == 0) {
      continue;
    }
    char *copy = malloc(pieces[i]); /* the callback gets a writable buffer */
    if (copy == NULL) {
      return CURLE_OUT_OF_MEMORY;
    }
    memcpy(copy, at, pieces[i]);
    size_t taken = handle->writeFunction(copy, 1, pieces[i], userData);
    free(copy);
    if (taken != pieces[i]) {
      return CURLE_WRITE_ERROR;
    }
    at += pieces[i];
  }
  return CURLE_OK;
}

CURLcode curl_easy_perform(CURL *handle) {
  if (handle == NULL) {
    return CURLE_BAD_FUNCTION_ARGUMENT;
  }
  if (handle->url == NULL) {
    return CURLE_URL_MALFORMAT;
  }
  size_t bodySize = 0;
  if (handle->postFields != NULL) {
    bodySize = handle->postFieldSize < 0 ? strlen(handle->postFields)
                                         : (size_t)handle->postFieldSize;
  }
  char *prefix = malloc(strlen(handle->url) + 8);
  if (prefix == NULL) {
    return CURLE_OUT_OF_MEMORY;
  }
  sprintf(prefix, "POST %s ", handle->url);
  appendLog(prefix, handle->postFields != NULL ? handle->postFields : "",
            bodySize);
  free(prefix);

  const char *forced = getenv("PINGWELL_FAKE_CURL_RESULT");
  if (forced != NULL && atoi(forced) != 0) {
    return (CURLcode)atoi(forced);
  }

  /* Without CURLOPT_HEADERFUNCTION the headers go to the write callback
   * with the header data pointer. */
  static const char headers[] =
      "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=utf-8\r\n\r\n";
  if (handle->headerData != NULL) {
    CURLcode result =
        deliver(handle, handle->headerData, headers, sizeof headers - 1);
    if (result != CURLE_OK) {
      return result;
    }
  }
  const char *reply = getenv("PINGWELL_FAKE_CURL_REPLY");
  if (reply == NULL) {
    reply = "{\"ok\":true}";
  }
  return deliver(handle, handle->writeData, reply, strlen(reply));
}

const char *curl_easy_strerror(CURLcode code) {
  switch (code) {
  case CURLE_OK:
    return "No error";
  case CURLE_UNSUPPORTED_PROTOCOL:
    return "Unsupported protocol";
  case CURLE_URL_MALFORMAT:
    return "URL using bad/illegal format or missing URL";
  case CURLE_COULDNT_RESOLVE_PROXY:
    return "Couldn't resolve proxy name";
  case CURLE_COULDNT_RESOLVE_HOST:
    return "Couldn't resolve host name";
  case CURLE_COULDNT_CONNECT:
    return "Couldn't connect to server";
  case CURLE_WRITE_ERROR:
    return "Failed writing received data to disk/application";
  case CURLE_OUT_OF_MEMORY:
    return "Out of memory";
  case CURLE_OPERATION_TIMEDOUT:
    return "Timeout was reached";
  case CURLE_BAD_FUNCTION_ARGUMENT:
    return "A libcurl function was given a bad argument";
  case CURLE_SSL_CONNECT_ERROR:
    return "SSL connect error";
  case CURLE_UNKNOWN_OPTION:
    return "An unknown option was passed in to libcurl";
  case CURLE_GOT_NOTHING:
    return "Server returned nothing (no headers, no data)";
  case CURLE_PEER_FAILED_VERIFICATION:
    return "SSL peer certificate or SSH remote key was not OK";
  case CURLE_SEND_ERROR:
    return "Failed sending data to the peer";
  case CURLE_RECV_ERROR:
    return "Failure when receiving data from the peer";
  default:
    return "Unknown error";
  }
}

/* Percent-encodes every byte outside the unreserved set of RFC 3986, with
 * upper-case hexadecimal digits. A length of 0 means "up to the zero". */
char *curl_easy_escape(CURL *handle, const char *text, int length) {
  (void)handle;
  if (text == NULL || length < 0) {
    return NULL;
  }
  size_t size = length == 0 ? strlen(text) : (size_t)length;
  char *out = malloc(size * 3 + 1);
  if (out == NULL) {
    return NULL;
  }
  static const char hex[] = "0123456789ABCDEF";
  char *at = out;
  for (size_t i = 0; i < size; ++i) {
    unsigned char c = (unsigned char)text[i];
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
        (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
        c == '~') {
      *at++ = (char)c;
    } else {
      *at++ = '%';
      *at++ = hex[c >> 4];
      *at++ = hex[c & 0x0F];
    }
  }
  *at = '\0';
  return out;
}

void curl_free(void *p) { free(p); }
