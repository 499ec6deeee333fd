// The procedure's installation script and the statement that calls it, as the servers get them.
#include "engine/ProcedureCall.h"
#include "engine/ProcedureScript.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tvr::engine;

TEST(ProcedureScript, LinesEndWithCrLfAndTheFinalGoHasNoLineEnd) {
    const std::string_view s = SpTvrInstallScript;
    EXPECT_EQ(s.size(), 1967u);
    EXPECT_TRUE(s.starts_with("use sybsystemprocs\r\ngo\r\n\r\nIf Exists(Select name\r\n"));
    EXPECT_TRUE(s.ends_with("return 1\r\nend\r\n\r\ngo"));
    std::size_t crlf = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\n') {
            ASSERT_GT(i, 0u);
            EXPECT_EQ(s[i - 1], '\r') << "bare LF at " << i;
            ++crlf;
        }
        if (s[i] == '\r') {
            EXPECT_EQ(s[i + 1], '\n') << "bare CR at " << i;
        }
    }
    EXPECT_EQ(crlf, 86u);
    EXPECT_EQ(std::count(s.begin(), s.end(), '\t'), 3);
    EXPECT_NE(s.find("\r\n\t\t DUMP DATABASE @database_name to @devname\r\n"), s.npos);
    EXPECT_NE(s.find("\r\n      \t LOAD TRANSACTION @database_name from @devname\r\n"), s.npos);
    EXPECT_NE(s.find("\r\n           print \"LOG DUMP ERROR: %1!\", @error\r\n"), s.npos);
    EXPECT_NE(s.find("\r\n     @device_name  varchar(30) =NULL\r\n"), s.npos);
}

namespace {

// The procedure's text as it is meant to be installed, written out once more by hand with
// LF line ends and <TAB> for each tab character. The checks above look at its ends and its
// line ends; this one at every byte in between.
constexpr std::string_view kWrittenOut = R"(use sybsystemprocs
go

If Exists(Select name
           From sysobjects
           Where name='sp_TVR'
           And type='P'
  )     -- And uid = User_id())
  Drop Procedure sp_TVR
go

Create Proc sp_TVR (
     @TypeTrans  int ,
     @database_name  varchar(30) ,
     @pr_dump  int ,
     @pr_load  int ,
     @pathname  varchar(250) ,
     @device_name  varchar(30) =NULL
                   )
As
  Begin
/**********************************************************
*Procedure  Name: sp_TVR
*Database: sybsystemprocs
*********************************************************/

declare    @devname varchar(100),
           @error int
declare    @mess varchar(250),
           @load_database tinyint

select @devname = @pathname+@device_name

if @pr_dump=1
   begin
     /* get the time and log size
     ** just before the dump starts
     */
      print "Start Dump"


      if @TypeTrans = 0
      begin
         dump tran @database_name with truncate_only
<TAB><TAB> DUMP DATABASE @database_name to @devname
      end
      else if  @TypeTrans = 1
      begin
         dump transaction @database_name to @devname
      end

      select @error = @@error
      if @error != 0
      begin
           print "LOG DUMP ERROR: %1!", @error
           if @error>0 return -@error
           else return @error
      end

 --------------------------------------------------------------------------------------
      return 1

   end

declare @err int
if @pr_load=1 begin
      print "Start Load"
   if @TypeTrans = 0
      LOAD DATABASE @database_name from @devname
   else
      if @device_name!=NULL
      <TAB> LOAD TRANSACTION @database_name from @devname
   select @err = @@error
       if @err = 0
       begin
       --if @online_database = 1
     --     online database @database_name
          return 1
       end

       if @err>0 return -@err
       else return @err
end
return 1
end

go)";

std::string withCrLfAndTabs(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.substr(i, 5) == "<TAB>") {
            out += '\t';
            i += 4;
        } else if (text[i] == '\n') {
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

TEST(ProcedureScript, EveryByteIsTheTextWrittenOut) {
    const std::string expected = withCrLfAndTabs(kWrittenOut);
    const std::string_view script = SpTvrInstallScript;
    ASSERT_EQ(script.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(script[i], expected[i]) << "first difference at byte " << i;
}

TEST(ProcedureCall, StatementHasTheExactFormWithTheSeparatorAppended) {
    TRS_dump_load dump{1, "sales", 1, 0, "/srv/dumps", "sales06.12.2026140512.tr"};
    EXPECT_EQ(spTvrCallStatement(dump),
              "execute sp_TVR @TypeTrans=1, @database_name=\"sales\", @pr_dump=1, @pr_load=0, "
              "@pathname=\"/srv/dumps/\", @device_name=\"sales06.12.2026140512.tr\"");
    TRS_dump_load load{0, "sales_copy", 0, 1, "/srv/dumps/", ""};
    // A folder typed with its separator gets a second one.
    EXPECT_EQ(spTvrCallStatement(load),
              "execute sp_TVR @TypeTrans=0, @database_name=\"sales_copy\", @pr_dump=0, "
              "@pr_load=1, @pathname=\"/srv/dumps//\", @device_name=\"\"");
}

TEST(ProcedureCall, DoubleQuotesInsideTheTextsAreDoubled) {
    TRS_dump_load call{1, "a\"b", 1, 0, "/x\"/y", "f\"\", @pr_load=1"};
    EXPECT_EQ(spTvrCallStatement(call),
              "execute sp_TVR @TypeTrans=1, @database_name=\"a\"\"b\", @pr_dump=1, @pr_load=0, "
              "@pathname=\"/x\"\"/y/\", @device_name=\"f\"\"\"\", @pr_load=1\"");
    EXPECT_EQ(quotedConstantText("no quote 'here'"), "no quote 'here'");
    EXPECT_EQ(quotedConstantText("\""), "\"\"");
}
