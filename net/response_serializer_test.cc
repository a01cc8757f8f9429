// Response validation and the raw, JSON, property-list, image and compound
// serializers, on responses built the way the session delivers them.
#include "net/response_serializer.h"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstdio>

#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"
#include "kit/graphics/bitmap.h"
#include "kit/graphics/image.h"
#include "net/image_response_serializer.h"
#include "net/networking_errors.h"

namespace {

kit::Ref<kit::HTTPURLResponse> response(int status, const std::string& contentType,
                                        const char* url = "http://127.0.0.1/api") {
  kit::HTTPHeaderFields fields;
  if (!contentType.empty()) fields.set("Content-Type", contentType);
  return std::make_shared<kit::HTTPURLResponse>(url ? kit::URL::URLWithString(url) : nullptr, status, "HTTP/1.1",
                                                fields);
}

kit::Ref<kit::Data> bytes(std::string_view text) { return kit::Data::make(text); }

kit::Ref<kit::Data> pngData(size_t width, size_t height, bool alpha) {
  std::vector<uint8_t> pixels(width * height * 4);
  for (size_t i = 0; i < width * height; ++i) {
    pixels[i * 4] = 200;
    pixels[i * 4 + 1] = static_cast<uint8_t>(i % 251);
    pixels[i * 4 + 2] = 30;
    pixels[i * 4 + 3] = alpha ? 128 : 255;
  }
  kit::PixelFormat format = kit::PixelFormat::rgba8();
  if (!alpha) format.bitmapInfo = kit::makeBitmapInfo(kit::AlphaInfo::NoneSkipLast);
  auto image = kit::Image::withBitmap(kit::Bitmap::create(width, height, format, width * 4, std::move(pixels)));
  auto png = image->pngData();
  return kit::Data::make(std::move(png));
}

// A CMYK JPEG written by libjpeg, stored inverted as Adobe writers do:
// no cyan, full magenta and yellow, which reads as red.
kit::Ref<kit::Data> cmykJPEG(size_t side) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = static_cast<JDIMENSION>(side);
  c.image_height = static_cast<JDIMENSION>(side);
  c.input_components = 4;
  c.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> row(side * 4);
  for (size_t x = 0; x < side; ++x) {
    row[x * 4] = 255;
    row[x * 4 + 1] = 0;
    row[x * 4 + 2] = 0;
    row[x * 4 + 3] = 255;
  }
  while (c.next_scanline < c.image_height) {
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  auto data = kit::Data::make(buffer, size);
  jpeg_destroy_compress(&c);
  free(buffer);
  return data;
}

TEST(ResponseSerializer, JSONErrorStatusKeepsTheObjectAndTheError) {
  auto serializer = SDPJSONResponseSerializer::serializer();
  kit::Ref<kit::Error> error;
  kit::Id object =
      serializer->responseObjectForResponse(response(404, "application/json"), bytes("{\"code\":\"x\"}"), &error);
  ASSERT_TRUE(object);
  EXPECT_EQ(kit::describe(object["code"]), "x");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain(), SDPResponseSerializationErrorDomain);
  EXPECT_EQ(error->code(), -1011);
  EXPECT_EQ(error->localizedDescription(), "Request failed: not found (404)");
  EXPECT_TRUE(error->userInfo()->objectForKey(SDPResponseErrorFailingResponseKey));
  EXPECT_EQ(kit::describe(error->userInfo()->objectForKey(kit::URLErrorKey)), "http://127.0.0.1/api");
}

TEST(ResponseSerializer, UnacceptableTypeGivesNilAndTheTypeError) {
  auto json = SDPJSONResponseSerializer::serializer();
  kit::Ref<kit::Error> error;
  EXPECT_FALSE(json->responseObjectForResponse(response(200, "text/html; charset=utf-8"), bytes("<p>"), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), -1016);
  EXPECT_EQ(error->localizedDescription(), "Request failed: unacceptable content-type: text/html");
  EXPECT_TRUE(SDPErrorIsContentTypeFailure(error));

  error = nullptr;
  EXPECT_FALSE(json->responseObjectForResponse(response(200, "text/html"), bytes(""), &error));
  EXPECT_FALSE(error) << "an empty body is invalid without an error";

  // A 500 with the wrong type: the status error carries the type error.
  error = nullptr;
  EXPECT_FALSE(json->responseObjectForResponse(response(500, "text/plain"), bytes("oops"), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), -1011);
  ASSERT_TRUE(error->underlyingError());
  EXPECT_EQ(error->underlyingError()->code(), -1016);
  EXPECT_TRUE(SDPErrorIsContentTypeFailure(error));

  auto raw = SDPHTTPResponseSerializer::serializer();
  raw->setAcceptableContentTypes(kit::Set::make({kit::str("text/html")}));
  error = nullptr;
  kit::Id body = raw->responseObjectForResponse(response(200, "text/html"), bytes("<p>"), &error);
  EXPECT_EQ(kit::describe(body), "<3c703e>");
  EXPECT_FALSE(error);
}

TEST(ResponseSerializer, RawSerializerAlwaysHandsOverTheBody) {
  auto raw = SDPHTTPResponseSerializer::serializer();
  kit::Ref<kit::Error> error;
  kit::Id body = raw->responseObjectForResponse(response(503, "text/plain"), bytes("busy"), &error);
  ASSERT_TRUE(kit::isKind<kit::Data>(body));
  EXPECT_EQ(kit::as<kit::Data>(body)->toString(), "busy");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), -1011);
}

TEST(ResponseSerializer, EmptyOrSpaceBodiesAreNilWithoutError) {
  auto json = SDPJSONResponseSerializer::serializer();
  for (const char* body : {"", " "}) {
    kit::Ref<kit::Error> error;
    EXPECT_FALSE(json->responseObjectForResponse(response(200, "application/json"), bytes(body), &error));
    EXPECT_FALSE(error) << "body '" << body << "'";
  }
  kit::Ref<kit::Error> error;
  EXPECT_FALSE(json->responseObjectForResponse(response(200, "application/json"), nullptr, &error));
  EXPECT_FALSE(error);
}

TEST(ResponseSerializer, MalformedJSONGivesTheParseErrorOverTheStatusError) {
  auto json = SDPJSONResponseSerializer::serializer();
  kit::Ref<kit::Error> error;
  EXPECT_FALSE(json->responseObjectForResponse(response(200, "application/json"), bytes("{oops"), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), kit::JSONReadCorruptError);
  EXPECT_FALSE(error->underlyingError());

  error = nullptr;
  EXPECT_FALSE(json->responseObjectForResponse(response(502, "application/json"), bytes("{oops"), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), kit::JSONReadCorruptError);
  ASSERT_TRUE(error->underlyingError());
  EXPECT_EQ(error->underlyingError()->code(), -1011);
}

TEST(ResponseSerializer, ResponsesWithoutURLOrNotHTTPAreNotRejected) {
  auto json = SDPJSONResponseSerializer::serializer();
  kit::Ref<kit::Error> error;
  EXPECT_TRUE(json->responseObjectForResponse(response(500, "application/json", nullptr), bytes("[1]"), &error));
  EXPECT_FALSE(error);
  auto plain = kit::URLResponse::make(kit::URL::URLWithString("file:///x.json"), kit::str("text/plain"), 3, nullptr);
  EXPECT_TRUE(json->responseObjectForResponse(plain, bytes("[1]"), &error));
  EXPECT_FALSE(error);
}

TEST(ResponseSerializer, RemovesKeysWithNullValuesAtEveryDepth) {
  auto json = SDPJSONResponseSerializer::serializer();
  json->removesKeysWithNullValues = true;
  kit::Id object = json->responseObjectForResponse(response(200, "application/json"),
                                                   bytes("{\"a\":1,\"b\":null,\"c\":[null,{\"d\":null}]}"), nullptr);
  EXPECT_EQ(kit::JSONSerialization::dataWithJSONObject(object)->toString(), "{\"a\":1,\"c\":[null,{}]}");
  EXPECT_FALSE(kit::isKind<kit::MutableDictionary>(object));
  kit::Id mutableObject = SDPJSONObjectByRemovingKeysWithNullValues(object, kit::JSONReadingMutableContainers);
  EXPECT_TRUE(kit::isKind<kit::MutableDictionary>(mutableObject));
  EXPECT_TRUE(kit::isKind<kit::MutableArray>(mutableObject["c"]));
}

TEST(ResponseSerializer, PropertyListBodies) {
  auto plist = SDPPropertyListResponseSerializer::serializer();
  auto data = kit::PropertyListSerialization::dataWithPropertyList(kit::dict({{"k", 3}}), kit::PropertyListFormat::XML);
  kit::Id object = plist->responseObjectForResponse(response(200, "application/x-plist"), data, nullptr);
  EXPECT_EQ(kit::describe(object["k"]), "3");
  kit::Ref<kit::Error> error;
  EXPECT_FALSE(plist->responseObjectForResponse(response(200, "application/x-plist"), bytes("<plist"), &error));
  EXPECT_TRUE(error);
}

// Collects element names and text.
class XMLOutline : public kit::XMLParserDelegate {
 public:
  std::string outline;
  void didStartElement(kit::XMLParser&, const std::string& name, const kit::Ref<kit::String>&,
                       const kit::Ref<kit::String>&, const kit::Ref<kit::Dictionary>&) override {
    outline += "<" + name + ">";
  }
  void foundCharacters(kit::XMLParser&, const kit::Ref<kit::String>& text) override { outline += text->utf8(); }
};

TEST(ResponseSerializer, XMLBodiesBecomeAParserNotYetRun) {
  auto xml = SDPXMLParserResponseSerializer::serializer();
  EXPECT_EQ(xml->acceptableContentTypes()->count(), 2u);
  kit::Ref<kit::Error> error;
  kit::Id object =
      xml->responseObjectForResponse(response(200, "text/xml"), bytes("<roles><role>knight</role></roles>"), &error);
  auto parser = kit::as<kit::XMLParser>(object);
  ASSERT_TRUE(parser);
  EXPECT_FALSE(error);
  EXPECT_FALSE(parser->parserError());
  auto outline = std::make_shared<XMLOutline>();
  parser->setDelegate(outline);
  EXPECT_TRUE(parser->parse());
  EXPECT_EQ(outline->outline, "<roles><role>knight");

  // A status failure keeps the parser and reports the error with it; a type
  // failure gives nil.
  object = xml->responseObjectForResponse(response(500, "application/xml"), bytes("<fault/>"), &error);
  EXPECT_TRUE(kit::isKind<kit::XMLParser>(object));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), kit::URLErrorBadServerResponse);
  error.reset();
  EXPECT_FALSE(xml->responseObjectForResponse(response(200, "application/json"), bytes("<a/>"), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), kit::URLErrorCannotDecodeContentData);
  // Without a body the parser has an empty document to report.
  auto empty = kit::as<kit::XMLParser>(xml->responseObjectForResponse(response(200, "text/xml"), nullptr, nullptr));
  ASSERT_TRUE(empty);
  EXPECT_FALSE(empty->parse());
  EXPECT_EQ(empty->parserError()->code(), kit::XMLParserEmptyDocumentError);

  // In a compound it answers for XML bodies; copies and archives keep it.
  auto compound = SDPCompoundResponseSerializer::compoundSerializerWithResponseSerializers(
      {SDPJSONResponseSerializer::serializer(), xml});
  EXPECT_TRUE(kit::isKind<kit::XMLParser>(
      compound->responseObjectForResponse(response(200, "application/xml"), bytes("<a/>"), nullptr)));
  auto restored = kit::KeyedUnarchiver::unarchivedObjectOfClass<SDPCompoundResponseSerializer>(
      kit::KeyedArchiver::archivedDataWithRootObject(compound), &error);
  ASSERT_TRUE(restored) << kit::describe(error);
  ASSERT_EQ(restored->responseSerializers().size(), 2u);
  EXPECT_EQ(restored->responseSerializers()[1]->className(), "SDPXMLParserResponseSerializer");
  EXPECT_EQ(kit::as<SDPHTTPResponseSerializer>(xml->copy())->className(), "SDPXMLParserResponseSerializer");
}

TEST(ResponseSerializer, ImagesDecodeAndSmallOnesAreInflated) {
  auto images = SDPImageResponseSerializer::serializer();
  images->imageScale = 3;
  auto small =
      kit::as<kit::Image>(images->responseObjectForResponse(response(200, "image/png"), pngData(8, 4, true), nullptr));
  ASSERT_TRUE(small);
  EXPECT_EQ(small->bitmap()->width(), 8u);
  EXPECT_EQ(small->scale(), 3);
  EXPECT_EQ(small->bitmap()->alphaInfo(), kit::AlphaInfo::PremultipliedFirst) << "inflated into an RGB context";
  EXPECT_EQ(small->bitmap()->colorSpace()->model(), kit::ColorSpace::Model::RGB);

  auto large = kit::as<kit::Image>(
      images->responseObjectForResponse(response(200, "image/png"), pngData(2000, 1000, true), nullptr));
  ASSERT_TRUE(large);
  EXPECT_EQ(large->bitmap()->width(), 2000u);
  EXPECT_EQ(large->bitmap()->alphaInfo(), kit::AlphaInfo::Last) << "left as decoded";

  images->automaticallyInflatesResponseImage = false;
  auto plain =
      kit::as<kit::Image>(images->responseObjectForResponse(response(200, "image/png"), pngData(8, 4, true), nullptr));
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->bitmap()->alphaInfo(), kit::AlphaInfo::Last);
  EXPECT_EQ(plain->scale(), 3);
}

TEST(ResponseSerializer, CMYKJPEGIsInflatedFromTheGeneralDecoder) {
  auto images = SDPImageResponseSerializer::serializer();
  auto image =
      kit::as<kit::Image>(images->responseObjectForResponse(response(200, "image/jpeg"), cmykJPEG(16), nullptr));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->bitmap()->colorSpace()->model(), kit::ColorSpace::Model::RGB);
  auto pixel = image->bitmap()->pixelAt(8, 8);
  EXPECT_GT(pixel.r, 200);
  EXPECT_LT(pixel.g, 60);
  EXPECT_LT(pixel.b, 60);
}

TEST(ResponseSerializer, ImageSerializerRefusesWhatIsNotAnImage) {
  auto images = SDPImageResponseSerializer::serializer();
  kit::Ref<kit::Error> error;
  EXPECT_FALSE(images->responseObjectForResponse(response(200, "text/html"), bytes("<p>"), &error));
  EXPECT_EQ(error->code(), -1016);
  EXPECT_FALSE(images->responseObjectForResponse(response(200, "image/png"), bytes("not a png"), nullptr));
  EXPECT_FALSE(images->responseObjectForResponse(response(200, "image/png"), bytes(""), nullptr));
}

TEST(ResponseSerializer, CompoundTakesTheFirstObjectOrTheRawBody) {
  auto compound = SDPCompoundResponseSerializer::compoundSerializerWithResponseSerializers(
      {SDPJSONResponseSerializer::serializer(), SDPImageResponseSerializer::serializer()});
  kit::Ref<kit::Error> error;
  kit::Id image = compound->responseObjectForResponse(response(200, "image/png"), pngData(4, 4, false), &error);
  EXPECT_TRUE(kit::isKind<kit::Image>(image));
  EXPECT_FALSE(error);
  kit::Id json = compound->responseObjectForResponse(response(200, "application/json"), bytes("[2]"), &error);
  EXPECT_EQ(kit::describe(json[0]), "2");
  kit::Id raw = compound->responseObjectForResponse(response(200, "application/zip"), bytes("PK"), &error);
  ASSERT_TRUE(kit::isKind<kit::Data>(raw));
  EXPECT_EQ(kit::as<kit::Data>(raw)->toString(), "PK");
}

TEST(ResponseSerializer, CopiesAndArchivesKeepTheirSettings) {
  auto json = SDPJSONResponseSerializer::serializerWithReadingOptions(kit::JSONReadingMutableContainers);
  json->removesKeysWithNullValues = true;
  auto types = kit::as<kit::Set>(json->acceptableContentTypes()->copy());
  json->setAcceptableContentTypes(kit::Set::make({kit::str("text/html"), kit::str("application/json")}));
  json->setAcceptableStatusCodes(kit::IndexSet::indexSetWithIndexesInRange({200, 201}));

  for (auto restored : {kit::as<SDPJSONResponseSerializer>(json->copy()),
                        kit::as<SDPJSONResponseSerializer>(kit::KeyedUnarchiver::unarchiveObjectWithData(
                            kit::KeyedArchiver::archivedDataWithRootObject(json)))}) {
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored->readingOptions, kit::JSONReadingMutableContainers);
    EXPECT_TRUE(restored->removesKeysWithNullValues);
    EXPECT_TRUE(restored->acceptableContentTypes()->containsObject(kit::str("text/html")));
    EXPECT_TRUE(restored->acceptableStatusCodes()->containsIndex(400));
    EXPECT_FALSE(restored->acceptableStatusCodes()->containsIndex(401));
  }
  EXPECT_FALSE(types->containsObject(kit::str("text/html")));
}

}  // namespace
