// KML read back with libkml, the reference implementation of OGC KML 2.2:
// its parser files every element that the schema does not allow where it
// stands as unknown or misplaced, so none may be left over.
#include "TestSupport.h"
#include "synopdecoder/ReportExport.h"

#include <gtest/gtest.h>
#include <kml/dom.h>

using namespace synop;

namespace {

void expectSchemaClean(const kmldom::ElementPtr& element, const std::string& where)
{
    ASSERT_TRUE(element);
    EXPECT_EQ(element->get_unknown_elements_array_size(), 0u) << where;
    EXPECT_EQ(element->get_misplaced_elements_array_size(), 0u) << where;
    EXPECT_EQ(element->GetUnknownAttributes(), nullptr) << where;
}

}  // namespace

TEST(KmlExport, PlacemarksOpenInAKmlReader)
{
    std::string traffic = "SMDL01 EDZW 080600\r\nAAXX 08061\r\n10015 41460 72315 10056 20039 39963 40012 57008 78582=\r\n"
                          "99999 41460 72315 10056=\r\n"
                          "BBXX\r\nDBBI 08064 99599 70227 41/98 62505 10131 49934 22259 00149=\r\n";
    QByteArray out;
    ReportExporter exporter(ExportFormat::Kml, synop::testing::appendTo(out));
    exporter.begin();
    for (DecodedReport& r : synop::testing::decodeText(traffic)) {
        // A bell from the teletype (no XML 1.0 character), Latin-1 from
        // another decoder, a stray byte, a cut sequence and U+FFFF: any one
        // of them made the whole file unreadable.
        r.raw += "\x07 \xe9t\xe9 \xf9 \xe2\x82 \xef\xbf\xbf";
        exporter.add(r, stationPlace(r), QDateTime(QDate(2026, 12, 8), QTime(6, 0), Qt::UTC).toMSecsSinceEpoch());
    }
    exporter.end();

    std::string errors;
    const kmldom::ElementPtr root = kmldom::ParseNS(out.toStdString(), &errors);
    ASSERT_TRUE(root) << errors;
    const kmldom::KmlPtr kml = kmldom::AsKml(root);
    ASSERT_TRUE(kml);
    expectSchemaClean(kml, "kml");
    const kmldom::DocumentPtr document = kmldom::AsDocument(kml->get_feature());
    ASSERT_TRUE(document);
    expectSchemaClean(document, "Document");
    ASSERT_EQ(document->get_feature_array_size(), 2u);  // the station without a position is left out

    const kmldom::PlacemarkPtr helgoland = kmldom::AsPlacemark(document->get_feature_array_at(0));
    ASSERT_TRUE(helgoland);
    expectSchemaClean(helgoland, "Placemark");
    EXPECT_EQ(helgoland->get_name(), "10015 Helgoland");
    EXPECT_NE(helgoland->get_description().find("air_temp_c: 5.6"), std::string::npos);
    // Each byte that is no character is one U+FFFD; the rest of the text stays.
    EXPECT_NE(helgoland->get_description().find("\xef\xbf\xbdt\xef\xbf\xbd \xef\xbf\xbd \xef\xbf\xbd\xef\xbf\xbd \xef\xbf\xbd"),
              std::string::npos);
    const kmldom::TimeStampPtr when = kmldom::AsTimeStamp(helgoland->get_timeprimitive());
    ASSERT_TRUE(when);
    EXPECT_EQ(when->get_when(), "2026-12-08T06:00:00Z");
    const kmldom::PointPtr point = kmldom::AsPoint(helgoland->get_geometry());
    ASSERT_TRUE(point && point->has_coordinates());
    const kmlbase::Vec3 at = point->get_coordinates()->get_coordinates_array_at(0);
    EXPECT_NEAR(at.get_longitude(), 7.9, 0.001);
    EXPECT_NEAR(at.get_latitude(), 54.183, 0.001);
    EXPECT_EQ(at.get_altitude(), 4);

    const kmldom::ExtendedDataPtr data = helgoland->get_extendeddata();
    ASSERT_TRUE(data);
    expectSchemaClean(data, "ExtendedData");
    bool temperatureFound = false;
    for (size_t i = 0; i < data->get_data_array_size(); ++i) {
        const kmldom::DataPtr item = data->get_data_array_at(i);
        expectSchemaClean(item, "Data " + item->get_name());
        if (item->get_name() == "air_temp_c") temperatureFound = item->get_value() == "5.6";
    }
    EXPECT_TRUE(temperatureFound);

    const kmldom::PlacemarkPtr ship = kmldom::AsPlacemark(document->get_feature_array_at(1));
    ASSERT_TRUE(ship);
    const kmlbase::Vec3 shipAt = kmldom::AsPoint(ship->get_geometry())->get_coordinates()->get_coordinates_array_at(0);
    EXPECT_NEAR(shipAt.get_longitude(), -22.7, 0.001);
    EXPECT_NEAR(shipAt.get_latitude(), 59.9, 0.001);
}
